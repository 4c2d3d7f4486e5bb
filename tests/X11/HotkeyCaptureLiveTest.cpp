#include "Hotkeys/HotkeyCapturePrompt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <gtest/gtest.h>

namespace zen {
namespace {

// Real key presses through the X server: Qt must hand the prompt the X keycode and read
// Super as Command, or the shortcut stored would not be the key that was pressed.
TEST(HotkeyCaptureLiveTest, RealKeyPressesBecomeTheStoredVocabulary)
{
    xcb_connection_t* injector = xcb_connect(nullptr, nullptr);
    auto fake = [&](std::uint8_t type, xcb_keycode_t keycode) {
        xcb_test_fake_input(injector, type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    };
    constexpr xcb_keycode_t superLeft = 133, shiftLeft = 50, keyA = 38, keyF5 = 71;

    HotkeyCaptureWindowController controller("Work", {});
    auto& dialog = *controller.window();
    dialog.show();
    QElapsedTimer timer;
    timer.start();
    while (!(dialog.isActiveWindow() && dialog.captureView()->hasFocus()) && timer.elapsed() < 3000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(dialog.captureView()->hasFocus()) << "the prompt never got the keyboard focus";

    // Shift+F5 alone is refused, and the prompt keeps waiting.
    fake(XCB_KEY_PRESS, shiftLeft);
    fake(XCB_KEY_PRESS, keyF5);
    fake(XCB_KEY_RELEASE, keyF5);
    fake(XCB_KEY_RELEASE, shiftLeft);
    xcb_flush(injector);
    timer.restart();
    while (dialog.message() != "Use a key with Command, Option, or Control." && timer.elapsed() < 3000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(dialog.message(), "Use a key with Command, Option, or Control.");
    EXPECT_TRUE(dialog.isVisible());

    fake(XCB_KEY_PRESS, superLeft);
    fake(XCB_KEY_PRESS, shiftLeft);
    fake(XCB_KEY_PRESS, keyA);
    fake(XCB_KEY_RELEASE, keyA);
    fake(XCB_KEY_RELEASE, shiftLeft);
    fake(XCB_KEY_RELEASE, superLeft);
    xcb_flush(injector);
    timer.restart();
    while (dialog.isVisible() && timer.elapsed() < 3000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);

    const auto binding = controller.capturedBinding();
    ASSERT_TRUE(binding) << dialog.message().toStdString();
    EXPECT_EQ(binding->keyCode, 0u);
    EXPECT_EQ(binding->modifiers, 0x300u);
    EXPECT_EQ(binding->displayString, "Command-Shift-A");
    xcb_disconnect(injector);
}

} // namespace
} // namespace zen
