#include "Hotkeys/HotkeyManager.h"
#include "Hotkeys/HotkeyManagerError.h"
#include "Platform/X11/CarbonHotkeyRegistrar.h"
#include "Support/LiveDesktop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace zen {
namespace {

// X keycodes of the evdev keymap Xvfb loads.
constexpr xcb_keycode_t controlLeft = 37, altLeft = 64, keyK = 45, keyJ = 44, capsLock = 66;
// Option+Control+K and Option+Control+J in the stored vocabulary; no window manager binds them.
const HotkeyBinding optionControlK{40, 0x1800, "Option-Control-K"};
const HotkeyBinding optionControlJ{38, 0x1800, "Option-Control-J"};
constexpr std::uint16_t controlAltState = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
constexpr std::uint32_t signature = 0x5A54484B;

using testsupport::XSession;

// The server takes requests from its clients in its own order: what a client asked is surely
// done once that client has had an answer to a later request.
void roundTrip(xcb_connection_t* c)
{
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

class HotkeyGrabTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        registrar = CarbonHotkeyRegistrar::forApplication();
        ASSERT_NE(registrar, nullptr) << "not running on X11";
        registrar->setPressHandler([this](EventHotKeyID id) {
            EXPECT_EQ(id.signature, signature);
            ++presses[id.id];
        });
    }

    // Presses Control+Alt+key the way a person would.
    void pressControlAlt(xcb_keycode_t key)
    {
        injector.pressChord({controlLeft, altLeft, key});
        // Real presses are never within the same millisecond; keep the next one apart too.
        QThread::msleep(5);
    }

    void toggleCapsLock() { injector.pressChord({capsLock}); }

    // Lets Qt's event loop deliver what the server sent until `count` presses were seen,
    // then a little longer so that an extra, wrong press would show too.
    void waitForPresses(std::uint32_t id, int count)
    {
        QElapsedTimer timer;
        timer.start();
        while (presses[id] < count && timer.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        xcb_flush(injector.connection());
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 150)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    XSession injector;
    std::unique_ptr<CarbonHotkeyRegistrar> registrar;
    std::map<std::uint32_t, int> presses;
};

TEST_F(HotkeyGrabTest, PressFiresOnceEvenWithCapsLockOnAndStopsWhenUnregistered)
{
    auto k = registrar->registerHotkey(optionControlK, {signature, 1});
    ASSERT_TRUE(k) << k.error().status;
    auto j = registrar->registerHotkey(optionControlJ, {signature, 2});
    ASSERT_TRUE(j) << j.error().status;

    pressControlAlt(keyK);
    waitForPresses(1, 1);
    EXPECT_EQ(presses[1], 1);
    EXPECT_EQ(presses[2], 0);

    toggleCapsLock();
    pressControlAlt(keyK);
    waitForPresses(1, 2);
    toggleCapsLock();
    EXPECT_EQ(presses[1], 2);

    // Once released, the key is no longer ours.
    registrar->unregisterHotkey(*k);
    pressControlAlt(keyK);
    pressControlAlt(keyJ);
    waitForPresses(2, 1);
    EXPECT_EQ(presses[1], 2);
    EXPECT_EQ(presses[2], 1);
    registrar->unregisterHotkey(*j);
}

// The server drops synthetic presses of a key that is already down, so key repeat is fed to
// the filter directly, in both forms servers send it.
TEST_F(HotkeyGrabTest, KeyRepeatIsIgnored)
{
    auto k = registrar->registerHotkey(optionControlK, {signature, 1});
    ASSERT_TRUE(k);
    const xcb_window_t root = injector.root();
    auto deliver = [&](std::uint8_t type, std::uint32_t time, std::uint16_t state) {
        xcb_key_press_event_t event{};
        event.response_type = type;
        event.detail = keyK;
        event.time = time;
        event.root = root;
        event.event = root;
        event.state = state;
        return registrar->nativeEventFilter("xcb_generic_event_t", &event, nullptr);
    };
    const std::uint16_t numLockOn = XCB_MOD_MASK_2;
    EXPECT_TRUE(deliver(XCB_KEY_PRESS, 100, controlAltState | numLockOn));
    EXPECT_TRUE(deliver(XCB_KEY_RELEASE, 200, controlAltState)); // repeat as release + press
    EXPECT_TRUE(deliver(XCB_KEY_PRESS, 200, controlAltState));
    EXPECT_TRUE(deliver(XCB_KEY_PRESS, 230, controlAltState)); // detectable repeat: presses only
    EXPECT_TRUE(deliver(XCB_KEY_RELEASE, 260, 0));              // modifiers already up
    EXPECT_EQ(presses[1], 1);
    EXPECT_TRUE(deliver(XCB_KEY_PRESS, 400, controlAltState | XCB_MOD_MASK_LOCK));
    EXPECT_EQ(presses[1], 2);
    // Other modifiers, another key or another window: not ours.
    EXPECT_FALSE(deliver(XCB_KEY_PRESS, 500, XCB_MOD_MASK_CONTROL));
    EXPECT_EQ(presses[1], 2);
    registrar->unregisterHotkey(*k);
    EXPECT_FALSE(deliver(XCB_KEY_PRESS, 600, controlAltState));
    EXPECT_EQ(presses[1], 2);
}

TEST_F(HotkeyGrabTest, KeyHeldByAnotherProgramIsRefusedAndNothingIsKeptHalfGrabbed)
{
    auto ours = registrar->registerHotkey(optionControlK, {signature, 1});
    ASSERT_TRUE(ours);

    XSession other;
    {
        CarbonHotkeyRegistrar otherRegistrar(other.connection());
        auto refused = otherRegistrar.registerHotkey(optionControlK, {signature, 7});
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().status, CarbonHotkeyRegistrar::keyGrabbedElsewhereStatus);
        EXPECT_EQ(HotkeyManagerError::registrationFailed("Work", refused.error().status).errorDescription(),
                  "\"Work\" hotkey could not be registered. X11 status: 10.");
    }
    registrar->unregisterHotkey(*ours);

    // Another program holds only the Caps Lock variant: the registration must fail as a whole
    // and give back the variants it did get.
    XSession holder;
    auto held = xcb_request_check(holder.connection(),
                                  xcb_grab_key_checked(holder.connection(), 0, holder.root(),
                                                       controlAltState | XCB_MOD_MASK_LOCK, keyK,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    ASSERT_EQ(held, nullptr);
    auto partial = registrar->registerHotkey(optionControlK, {signature, 1});
    ASSERT_FALSE(partial);
    EXPECT_EQ(partial.error().status, CarbonHotkeyRegistrar::keyGrabbedElsewhereStatus);

    roundTrip(qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection());
    XSession third;
    auto* plain = xcb_request_check(third.connection(),
                                    xcb_grab_key_checked(third.connection(), 0, third.root(), controlAltState,
                                                         keyK, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    EXPECT_EQ(plain, nullptr) << "the variant without locks was left grabbed";
    std::free(plain);
}

TEST_F(HotkeyGrabTest, KeysWithoutAnXKeycodeAreRefused)
{
    auto fn = registrar->registerHotkey({0x3F, 0x100, "Command-Key 63"}, {signature, 1});
    ASSERT_FALSE(fn);
    EXPECT_EQ(fn.error().status, CarbonHotkeyRegistrar::untranslatableKeyStatus);
}

TEST_F(HotkeyGrabTest, ManagerRestoresTheLayoutWhoseShortcutWasPressed)
{
    std::shared_ptr<CarbonHotkeyRegistrar> shared = std::move(registrar);
    std::vector<QUuid> restored;
    HotkeyManager manager(
        [&](QUuid id) { restored.push_back(id); }, shared,
        [shared](HotkeyPressHandler handler) -> std::expected<EventHandlerReference, HotkeyManagerError> {
            shared->setPressHandler(std::move(handler));
            return 1;
        },
        [shared](EventHandlerReference) { shared->setPressHandler({}); });

    const QUuid work = QUuid::createUuid(), home = QUuid::createUuid();
    ASSERT_TRUE(manager.reloadBindings({{work, "Work", optionControlK}, {home, "Home", optionControlJ}}));
    pressControlAlt(keyJ);
    QElapsedTimer timer;
    timer.start();
    while (restored.empty() && timer.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(restored, std::vector<QUuid>{home});

    // While a shortcut is being captured the keys belong to the prompt, not to us.
    manager.suspendBindings();
    XSession other;
    CarbonHotkeyRegistrar otherRegistrar(other.connection());
    auto free = otherRegistrar.registerHotkey(optionControlJ, {signature, 1});
    EXPECT_TRUE(free);
    otherRegistrar.unregisterHotkey(*free);
    roundTrip(other.connection());
    ASSERT_TRUE(manager.resumeBindings());
}

} // namespace
} // namespace zen
