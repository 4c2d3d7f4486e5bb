#pragma once

#include "Hotkeys/HotkeyBindingValidator.h"
#include "Snapshots/Snapshot.h"

#include <QDialog>
#include <QPointer>
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

// The prompt's window: the layout's name, the hint or the last refusal, and Cancel. Public so
// tests can drive it without a modal loop.
class HotkeyCaptureWindow : public QDialog {
    Q_OBJECT
public:
    explicit HotkeyCaptureWindow(const QString& snapshotName, QWidget* parent = nullptr);

    HotkeyCaptureView* captureView() const { return m_view; }
    QPushButton* cancelButton() const { return m_cancel; }
    QString message() const;
    void setMessage(const QString& message);

protected:
    void showEvent(QShowEvent* event) override;

private:
    HotkeyCaptureView* m_view = nullptr;
    QLabel* m_message = nullptr;
    QPushButton* m_cancel = nullptr;
};

// Runs one capture in a window of its own: judges each key pressed in it, shows refusals, and
// ends the window once, with the captured shortcut or with nothing (Escape, Cancel, the close
// button), whichever comes first.
class HotkeyCaptureWindowController : public QObject {
    Q_OBJECT
public:
    HotkeyCaptureWindowController(const QString& snapshotName, std::vector<UnavailableHotkey> unavailableHotkeys,
                                  QWidget* parent = nullptr);
    ~HotkeyCaptureWindowController() override;

    HotkeyCaptureWindow* window() const { return m_window.data(); }
    // Present only when the window ended by capturing a shortcut.
    std::optional<HotkeyBinding> capturedBinding() const;
    bool hasStoppedModal() const { return m_hasStoppedModal; }
    // Shows the window modally and returns once it has ended.
    std::optional<HotkeyBinding> run();

private:
    void handleKey(const HotkeyCaptureKeyEvent& event);
    void stop(std::optional<HotkeyBinding> binding);

    std::vector<UnavailableHotkey> m_unavailable;
    // Owned here, though a parent window given at creation may delete it first.
    QPointer<HotkeyCaptureWindow> m_window;
    std::optional<HotkeyBinding> m_capturedBinding;
    bool m_hasStoppedModal = false;
};

} // namespace zen
