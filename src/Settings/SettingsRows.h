#pragma once

#include "Settings/DiagnosticLogStatus.h"

#include <QAbstractButton>
#include <QLabel>
#include <QWidget>

#include <optional>

class QLabel;

namespace zen {

// The four small row components the settings window is built from. They belong together and
// to that window only.

QColor settingsTintColor(SettingsTint tint, const QPalette& palette);
// The small secondary text under a row or a section.
void makeCaption(QLabel* label);

// A symbol in the secondary colour, in a box 18 wide.
class SettingsIcon : public QLabel {
    Q_OBJECT
public:
    explicit SettingsIcon(const QString& systemImage, QWidget* parent = nullptr);
    QString systemImage() const { return m_systemImage; }
    void setSymbol(const QString& systemImage, SettingsTint tint = SettingsTint::secondary);

private:
    QString m_systemImage;
};

// Symbol, title, and at the right an optional value and a trailing control.
class SettingsValueRow : public QWidget {
    Q_OBJECT
public:
    SettingsValueRow(const QString& title, const QString& systemImage, const std::optional<QString>& value,
                     SettingsTint valueTint, QWidget* trailing, QWidget* parent = nullptr);
    QString title() const;

private:
    QLabel* m_title;
};

// A tinted symbol and a small secondary message that wraps.
class SettingsStatusRow : public QWidget {
    Q_OBJECT
public:
    explicit SettingsStatusRow(QWidget* parent = nullptr);
    void setStatus(const QString& message, const QString& systemImage, SettingsTint tint);
    QString message() const;
    QString systemImage() const;
    SettingsTint tint() const { return m_tint; }

private:
    SettingsIcon* m_icon;
    QLabel* m_message;
    SettingsTint m_tint = SettingsTint::secondary;
};

// An on/off switch: a rounded track with a knob that sits right when on.
class SettingsSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit SettingsSwitch(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {36, 20}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A flat button over the whole row: optional leading symbol, title, and a symbol at the right.
// It looks and answers like a button: a wash under the pointer, a focus ring, Space and Enter.
class SettingsActionRow : public QAbstractButton {
    Q_OBJECT
public:
    SettingsActionRow(const QString& title, const QString& systemImage, const std::optional<QString>& leadingSystemImage,
                      QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace zen
