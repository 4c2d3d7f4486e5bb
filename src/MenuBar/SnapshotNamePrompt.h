#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

class QLineEdit;
class QPushButton;

namespace zen {

// Asks for the name of a new layout, or a new name for an existing one, in a small modal
// dialog. Both calls block the main thread until the user answers.
struct SnapshotNamePrompt {
    // Asks the window manager directly, as a pager does, to give a window of ours the keyboard.
    using BringForward = std::function<void(WId)>;

    // Absent when cancelled; otherwise a non-empty name (the default name for blank input).
    static std::optional<QString> prompt(const QString& defaultName, QWidget* parent = nullptr,
                                         const BringForward& bringForward = {});
    // Absent when cancelled; otherwise the entered text trimmed, which may be empty.
    static std::optional<QString> promptRename(const QString& currentName, QWidget* parent = nullptr,
                                               const BringForward& bringForward = {});
};

// The dialog behind both prompts; public so tests can drive it without a modal loop.
class SnapshotNameDialog : public QDialog {
    Q_OBJECT
public:
    enum class Purpose { save, rename };

    SnapshotNameDialog(Purpose purpose, const QString& name, QWidget* parent = nullptr);

    QLineEdit* nameField() const { return m_field; }
    QPushButton* confirmButton() const { return m_confirm; }
    QPushButton* cancelButton() const { return m_cancel; }

    // What the prompt returns for the way the dialog ended and the text in the field.
    std::optional<QString> answer() const;

    // Called with the dialog's window each time it is first on screen after being shown.
    void setBringForward(SnapshotNamePrompt::BringForward bringForward) { m_bringForward = std::move(bringForward); }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Purpose m_purpose;
    QString m_givenName;
    QLineEdit* m_field = nullptr;
    QPushButton* m_confirm = nullptr;
    QPushButton* m_cancel = nullptr;
    SnapshotNamePrompt::BringForward m_bringForward;
};

} // namespace zen
