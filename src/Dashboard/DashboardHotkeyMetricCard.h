#pragma once

#include "Hotkeys/HotkeyCapturePrompt.h"
#include "Snapshots/SnapshotSummary.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QAbstractAnimation;
class QLabel;
class QPropertyAnimation;
class QToolButton;

namespace zen {

class HotkeyCaptureErrorPopover;
class InlineHotkeyCaptureField;
class MiddleElidedLabel;

// The layout's global hotkey as a card: its shortcut ("Super+Shift+K") with edit and clear
// buttons, or, while capturing, the capture field with a cancel button and, after a refused
// combination, the error popover below it.
class DashboardHotkeyMetricCard : public QWidget {
    Q_OBJECT
public:
    struct State {
        SnapshotSummary summary;
        bool isEditing = false;
        std::optional<QString> captureError;
        bool isActionDisabled = false;
    };
    struct Callbacks {
        std::function<void()> onEdit;
        std::function<void()> onClear;
        std::function<void()> onCancel;
        // A key pressed in the capture field; the owner judges it.
        std::function<void(const HotkeyCaptureKeyEvent&)> onKey;
        std::function<void()> onDismissError;
    };

    // The row that comes in when capture starts or ends fades in over this time (ease-in-out).
    static constexpr int editingTransitionMs = 150;
    // How far the shortcut's type may shrink to show it whole.
    static constexpr qreal hotkeyTextSmallestScale = 0.6;

    DashboardHotkeyMetricCard(Callbacks callbacks, QWidget* parent = nullptr);
    ~DashboardHotkeyMetricCard() override;

    void setState(const State& state);
    const State& state() const { return m_state; }

    QString hotkeyText() const;
    MiddleElidedLabel* hotkeyLabel() const { return m_hotkeyText; }
    QToolButton* editButton() const { return m_edit; }
    QToolButton* clearButton() const { return m_clear; }
    QToolButton* cancelButton() const;
    InlineHotkeyCaptureField* captureField() const;
    HotkeyCaptureErrorPopover* errorPopover() const;
    // The fade of the last change of editing state while it runs; null once it is over and
    // whenever the desktop asks for no animation.
    QAbstractAnimation* editingTransition() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ensureCaptureRow();
    void placePopover();
    void animateEditingChange();
    void stopEditingTransition();

    Callbacks m_callbacks;
    State m_state;
    QWidget* m_displayRow = nullptr;
    QWidget* m_displayActions = nullptr;
    QWidget* m_captureRow = nullptr;
    MiddleElidedLabel* m_hotkeyText = nullptr;
    QToolButton* m_edit = nullptr;
    QToolButton* m_clear = nullptr;
    QToolButton* m_cancel = nullptr;
    InlineHotkeyCaptureField* m_field = nullptr;
    HotkeyCaptureErrorPopover* m_popover = nullptr;
    QPointer<QWidget> m_watchedWindow;
    // What the person started the capture from; it has the keyboard again once it ends.
    QPointer<QWidget> m_captureStarter;
    QPointer<QPropertyAnimation> m_editingTransition;
};

} // namespace zen
