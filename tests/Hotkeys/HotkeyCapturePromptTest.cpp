#include "Hotkeys/HotkeyCapturePrompt.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace zen {
namespace {

using Kind = HotkeyCaptureJudgement::Kind;

// X keycodes of an evdev keymap (evdev code + 8).
constexpr std::uint32_t xK = 45, xA = 38, x1 = 10, xReturn = 36, xBackspace = 22, xEscape = 9,
                        xKeypad5 = 84, xSpace = 65, xSuperL = 133, xShiftL = 50, xF5 = 71, xPrint = 107;

constexpr Qt::KeyboardModifiers commandOption = Qt::MetaModifier | Qt::AltModifier;
const QString invalidText = "Use a key with Super, Alt, or Ctrl.";

TEST(HotkeyCapturePromptTest, JudgesKeyPressesIntoBindings)
{
    struct Case {
        const char* what;
        HotkeyCaptureKeyEvent event;
        Kind kind;
        std::uint32_t keyCode = 0;
        std::uint32_t modifiers = 0;
        QString display = {};
    };
    const Case cases[] = {
        {"Super+Alt+K", {xK, Qt::Key_K, commandOption}, Kind::capture, 40, 0x900, "Command-Option-K"},
        {"Super+Shift+1 types !", {x1, Qt::Key_Exclam, Qt::MetaModifier | Qt::ShiftModifier}, Kind::capture,
         18, 0x300, "Command-Shift-1"},
        {"Ctrl+Alt+keypad 5", {xKeypad5, Qt::Key_5, Qt::ControlModifier | Qt::AltModifier | Qt::KeypadModifier},
         Kind::capture, 87, 0x1800, "Option-Control-5"},
        {"Ctrl+keypad 5 without Num Lock", {xKeypad5, Qt::Key_Clear, Qt::ControlModifier | Qt::KeypadModifier},
         Kind::capture, 87, 0x1000, "Control-5"},
        {"Ctrl+Return", {xReturn, Qt::Key_Return, Qt::ControlModifier}, Kind::capture, 36, 0x1000,
         "Control-Key 36"},
        {"Cyrillic layout, K position", {xK, 0x041B, Qt::MetaModifier}, Kind::capture, 40, 0x100,
         QString::fromUtf8("Command-Л")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto judgement = judgeHotkeyPress(c.event, {});
        ASSERT_EQ(judgement.kind, c.kind);
        ASSERT_TRUE(judgement.binding);
        EXPECT_EQ(judgement.binding->keyCode, c.keyCode);
        EXPECT_EQ(judgement.binding->modifiers, c.modifiers);
        EXPECT_EQ(judgement.binding->displayString, c.display);
    }
}

TEST(HotkeyCapturePromptTest, CancelsIgnoresOrRefuses)
{
    EXPECT_EQ(judgeHotkeyPress({xEscape, Qt::Key_Escape, {}}, {}).kind, Kind::cancel);
    EXPECT_EQ(judgeHotkeyPress({xEscape, Qt::Key_Escape, commandOption | Qt::ShiftModifier}, {}).kind,
              Kind::cancel);
    // Modifier keys on their own are the start of a shortcut, not one.
    EXPECT_EQ(judgeHotkeyPress({xSuperL, Qt::Key_Meta, Qt::MetaModifier}, {}).kind, Kind::ignore);
    EXPECT_EQ(judgeHotkeyPress({xSuperL, Qt::Key_Super_L, Qt::MetaModifier}, {}).kind, Kind::ignore);
    EXPECT_EQ(judgeHotkeyPress({xShiftL, Qt::Key_Shift, Qt::MetaModifier | Qt::ShiftModifier}, {}).kind,
              Kind::ignore);
    // A key with no place in the stored vocabulary could never be grabbed again.
    EXPECT_EQ(judgeHotkeyPress({xPrint, Qt::Key_Print, Qt::ControlModifier}, {}).kind, Kind::ignore);
    EXPECT_EQ(judgeHotkeyPress({0, Qt::Key_K, Qt::ControlModifier}, {}).kind, Kind::ignore);

    for (auto event : {HotkeyCaptureKeyEvent{xReturn, Qt::Key_Return, {}},
                       HotkeyCaptureKeyEvent{xBackspace, Qt::Key_Backspace, {}},
                       HotkeyCaptureKeyEvent{xA, Qt::Key_A, Qt::ShiftModifier}}) {
        const auto judgement = judgeHotkeyPress(event, {});
        EXPECT_EQ(judgement.kind, Kind::refuse);
        EXPECT_EQ(judgement.message, invalidText);
        EXPECT_FALSE(judgement.binding);
    }
}

TEST(HotkeyCapturePromptTest, RefusesAnotherLayoutsShortcutByKeyAndModifiersOnly)
{
    const std::vector<UnavailableHotkey> taken = {
        {{40, 0x1000, "Control-K"}, "Evening"},
        {{40, 0x900, "an old spelling"}, "Work"},
        {{40, 0x900, "Command-Option-K"}, "Later duplicate"},
    };
    const auto judgement = judgeHotkeyPress({xK, Qt::Key_K, commandOption}, taken);
    EXPECT_EQ(judgement.kind, Kind::refuse);
    EXPECT_EQ(judgement.message, "\"Work\" already uses that hotkey.");

    // Same key with Shift added is a different shortcut.
    EXPECT_EQ(judgeHotkeyPress({xK, Qt::Key_K, commandOption | Qt::ShiftModifier}, taken).kind, Kind::capture);
}

QKeyEvent keyPress(int key, Qt::KeyboardModifiers modifiers, std::uint32_t scanCode)
{
    return QKeyEvent(QEvent::KeyPress, key, modifiers, scanCode, 0, 0);
}

TEST(HotkeyCapturePromptTest, DialogKeepsWaitingAfterARefusalAndEndsOnACapture)
{
    HotkeyCaptureWindowController controller("<b>Work</b>", {{{40, 0x900, "x"}, "Home & Away"}});
    auto& dialog = *controller.window();
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Set Layout Hotkey");
    EXPECT_EQ(dialog.message(), "Press a shortcut using Super, Alt, or Ctrl.");
    for (auto* label : dialog.findChildren<QLabel*>())
        EXPECT_EQ(label->textFormat(), Qt::PlainText);

    auto plainReturn = keyPress(Qt::Key_Return, {}, xReturn);
    QApplication::sendEvent(dialog.captureView(), &plainReturn);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.message(), invalidText);

    auto taken = keyPress(Qt::Key_K, commandOption, xK);
    QApplication::sendEvent(dialog.captureView(), &taken);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.message(), "\"Home & Away\" already uses that hotkey.");

    // Tab would normally move the focus; here it is just a key.
    auto tab = keyPress(Qt::Key_Tab, Qt::ControlModifier, 23);
    QApplication::sendEvent(dialog.captureView(), &tab);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_TRUE(controller.capturedBinding());
    EXPECT_EQ(controller.capturedBinding()->displayString, "Control-Key 48");

    // A late key after the end changes nothing.
    auto late = keyPress(Qt::Key_Escape, {}, xEscape);
    QApplication::sendEvent(dialog.captureView(), &late);
    EXPECT_TRUE(controller.capturedBinding());
}

TEST(HotkeyCapturePromptTest, EscapeCancelButtonAndCloseEndWithNothing)
{
    HotkeyCaptureWindowController escapeController("Work", {});
    auto& escape = *escapeController.window();
    escape.show();
    auto press = keyPress(Qt::Key_Escape, Qt::MetaModifier, xEscape);
    QApplication::sendEvent(escape.captureView(), &press);
    EXPECT_FALSE(escape.isVisible());
    EXPECT_FALSE(escapeController.capturedBinding());

    HotkeyCaptureWindowController buttonController("Work", {});
    auto& button = *buttonController.window();
    button.show();
    button.cancelButton()->click();
    EXPECT_FALSE(button.isVisible());
    EXPECT_FALSE(buttonController.capturedBinding());
    EXPECT_EQ(button.cancelButton()->focusPolicy(), Qt::NoFocus);

    HotkeyCaptureWindowController closedController("Work", {});
    closedController.window()->show();
    closedController.window()->close();
    EXPECT_TRUE(closedController.hasStoppedModal());
    EXPECT_FALSE(closedController.capturedBinding());
}

TEST(HotkeyCapturePromptTest, ModalPromptReturnsTheCapturedBinding)
{
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<HotkeyCaptureWindow*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto press = keyPress(Qt::Key_K, Qt::ControlModifier | Qt::AltModifier, xK);
        QApplication::sendEvent(dialog->captureView(), &press);
    });
    const auto binding = HotkeyCapturePrompt::prompt("Work", {});
    ASSERT_TRUE(binding);
    EXPECT_EQ(binding->keyCode, 40u);
    EXPECT_EQ(binding->modifiers, 0x1800u);
    EXPECT_EQ(binding->displayString, "Option-Control-K");
}

} // namespace
} // namespace zen
