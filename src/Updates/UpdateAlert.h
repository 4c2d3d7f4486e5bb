#pragma once

#include "Updates/UpdateUserDriver.h"

#include <QDialog>
#include <QString>

#include <functional>

class QHBoxLayout;
class QPushButton;

namespace zen {

// The dialogs of a check the user asked for, as small windows of their own. Every text from
// the feed (version, notes) is shown as plain text, cut to a length that lays out at once: a
// feed may hold a megabyte in one unbroken line, and laying that out blocks the program.
class UpdateAlert : public QDialog {
    Q_OBJECT
public:
    // More than any release's notes; the rest is cut and marked with "…".
    static constexpr qsizetype maximumNotesLength = 8000;
    // The version label inside the offer's sentence (the feed refuses longer ones already).
    static constexpr qsizetype maximumVersionLength = 40;

    // The text cut to `length` characters (never inside a surrogate pair) and "…" appended
    // when anything was cut.
    static QString cutForDisplay(const QString& text, qsizetype length);

    // The three faces; the buttons report through `answered` once, also when the window is
    // closed (then as the last button: "OK" or "Remind Me Later").
    static UpdateAlert* upToDate(const QString& currentVersion);
    static UpdateAlert* updateFound(const UpdateFeedItem& item, const QString& currentVersion);
    static UpdateAlert* failure(const QString& message);
    ~UpdateAlert() override;

    QString message() const { return m_message; }
    QPushButton* button(const QString& title) const;

Q_SIGNALS:
    void answered(UpdaterUserChoice choice);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    UpdateAlert(const QString& message, const QString& detail, const QString& notes);
    void addButton(const QString& title, UpdaterUserChoice choice, bool isDefault = false);
    void answer(UpdaterUserChoice choice);

    QString m_message;
    UpdaterUserChoice m_closeChoice = UpdaterUserChoice::dismiss;
    bool m_answered = false;
    QHBoxLayout* m_buttons = nullptr;
};

class UpdateAlertUserDriver final : public UpdateUserDriver {
public:
    // The window the dialogs belong to while it is shown (null: none is); without it they
    // stand alone.
    using Owner = std::function<QWidget*()>;
    explicit UpdateAlertUserDriver(Owner owner = {}) : m_owner(std::move(owner)) {}

    void showUpToDate(const QString& currentVersion, std::function<void()> acknowledged) override;
    void showUpdateFound(const UpdateFeedItem& item, const QString& currentVersion,
                         std::function<void(UpdaterUserChoice)> choice) override;
    void showError(const QString& message, std::function<void()> acknowledged) override;

private:
    void present(UpdateAlert* alert) const;

    Owner m_owner;
};

} // namespace zen
