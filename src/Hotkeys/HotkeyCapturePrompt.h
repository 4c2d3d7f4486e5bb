#pragma once

#include "Hotkeys/HotkeyBindingValidator.h"
#include "Snapshots/Snapshot.h"

#include <QDialog>
#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

class QLabel;
class QPushButton;

namespace zen {

// Another layout's binding, which the layout being edited may not take.
struct UnavailableHotkey {
    HotkeyBinding binding;
    QString snapshotName;
};

// What a Qt key press carries that matters for a shortcut: the X keycode (Qt's native scan
// code on X11), Qt's key (which still reflects Shift) and the modifier flags.
struct HotkeyCaptureKeyEvent {
    std::uint32_t nativeScanCode = 0;
    int key = 0;
    Qt::KeyboardModifiers modifiers;
};

struct HotkeyCaptureJudgement {
    enum class Kind {
        cancel,  // Escape, whatever modifiers are held
        ignore,  // a modifier key on its own, or a key with no place in the stored vocabulary
        refuse,  // not a usable shortcut; `message` says why
        capture, // `binding` is the new shortcut
    };
    Kind kind = Kind::ignore;
    QString message;
    std::optional<HotkeyBinding> binding;
};

HotkeyCaptureJudgement judgeHotkeyPress(const HotkeyCaptureKeyEvent& event,
                                        const std::vector<UnavailableHotkey>& unavailableHotkeys);

// Asks for a new global shortcut for one layout in a small application-modal window. Global
// hotkeys should be suspended meanwhile so that other layouts' shortcuts reach the prompt.
struct HotkeyCapturePrompt {
    static std::optional<HotkeyBinding> prompt(const QString& snapshotName,
                                               const std::vector<UnavailableHotkey>& unavailableHotkeys,
                                               QWidget* parent = nullptr);
};

// Takes every key press, Tab and shortcuts included, so nothing in the window reacts to the
// keys being captured.
class HotkeyCaptureView : public QWidget {
    Q_OBJECT
public:
    explicit HotkeyCaptureView(QWidget* parent = nullptr);

Q_SIGNALS:
    void keyPressed(const zen::HotkeyCaptureKeyEvent& event);

protected:
    bool event(QEvent* event) override;
};

// The window behind the prompt; public so tests can drive it without a modal loop.
class HotkeyCaptureDialog : public QDialog {
    Q_OBJECT
public:
    HotkeyCaptureDialog(const QString& snapshotName, std::vector<UnavailableHotkey> unavailableHotkeys,
                        QWidget* parent = nullptr);

    HotkeyCaptureView* captureView() const { return m_view; }
    QPushButton* cancelButton() const { return m_cancel; }
    QString message() const;
    // Present only when the dialog ended by capturing a shortcut.
    std::optional<HotkeyBinding> capturedBinding() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void handleKey(const HotkeyCaptureKeyEvent& event);
    void finish(std::optional<HotkeyBinding> binding);

    std::vector<UnavailableHotkey> m_unavailable;
    HotkeyCaptureView* m_view = nullptr;
    QLabel* m_message = nullptr;
    QPushButton* m_cancel = nullptr;
    std::optional<HotkeyBinding> m_captured;
    bool m_finished = false;
};

} // namespace zen
