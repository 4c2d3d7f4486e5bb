#include "Hotkeys/HotkeyCapturePrompt.h"

#include "Support/LiveDesktop.h"

#include <gtest/gtest.h>

namespace zen {
namespace {

using namespace testsupport;

// Real key presses through the X server: Qt must hand the prompt the X keycode and read
// Super as Command, or the shortcut stored would not be the key that was pressed.
TEST(HotkeyCaptureLiveTest, RealKeyPressesBecomeTheStoredVocabulary)
{
    XSession x;
    ASSERT_TRUE(x.isOpen());
    constexpr xcb_keycode_t superLeft = 133, shiftLeft = 50, keyA = 38, keyF5 = 71;

    HotkeyCaptureWindowController controller("Work", {});
    auto& dialog = *controller.window();
    dialog.show();
    ASSERT_TRUE(waitFor([&] { return dialog.isActiveWindow() && dialog.captureView()->hasFocus(); }, 3000, 10))
        << "the prompt never got the keyboard focus";

    // Shift+F5 alone is refused, and the prompt keeps waiting.
    x.pressChord({shiftLeft, keyF5});
    const QString refusal = QStringLiteral("Use a key with Super, Alt, or Ctrl.");
    EXPECT_TRUE(waitFor([&] { return dialog.message() == refusal; }, 3000, 10)) << dialog.message().toStdString();
    EXPECT_TRUE(dialog.isVisible());

    x.pressChord({superLeft, shiftLeft, keyA});
    waitFor([&] { return !dialog.isVisible(); }, 3000, 10);

    const auto binding = controller.capturedBinding();
    ASSERT_TRUE(binding) << dialog.message().toStdString();
    EXPECT_EQ(binding->keyCode, 0u);
    EXPECT_EQ(binding->modifiers, 0x300u);
    EXPECT_EQ(binding->displayString, "Command-Shift-A");
}

} // namespace
} // namespace zen
