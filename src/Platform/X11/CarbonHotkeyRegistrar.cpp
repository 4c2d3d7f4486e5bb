#include "Platform/X11/CarbonHotkeyRegistrar.h"

#include "Hotkeys/KeyCodeTranslation.h"
#include "Platform/X11/X11Connection.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb_keysyms.h>

#include <algorithm>

namespace zen {

namespace {

using namespace KeyCodeTranslation;

constexpr xcb_keysym_t numLockKeysym = 0xff7f;
constexpr std::uint16_t bindingModifierBits = x11ShiftMask | x11ControlMask | x11Mod1Mask | x11Mod4Mask;

} // namespace

std::unique_ptr<CarbonHotkeyRegistrar> CarbonHotkeyRegistrar::forApplication()
{
    auto* application = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!application || !application->connection())
        return nullptr;
    return std::make_unique<CarbonHotkeyRegistrar>(application->connection());
}

CarbonHotkeyRegistrar::CarbonHotkeyRegistrar(xcb_connection_t* connection) : m_connection(connection)
{
    if (m_connection && !xcb_connection_has_error(m_connection)) {
        const auto screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        if (screens.rem > 0)
            m_root = screens.data->root;
    }
    if (auto* application = QCoreApplication::instance())
        application->installNativeEventFilter(this);
}

CarbonHotkeyRegistrar::~CarbonHotkeyRegistrar()
{
    if (auto* application = QCoreApplication::instance())
        application->removeNativeEventFilter(this);
    for (const auto& [reference, grab] : m_grabs)
        ungrab(grab);
    if (m_connection && !m_grabs.empty())
        xcb_flush(m_connection);
}

void CarbonHotkeyRegistrar::setPressHandler(HotkeyPressHandler handler)
{
    m_handler = std::move(handler);
}

std::uint16_t CarbonHotkeyRegistrar::numLockMask() const
{
    // Num Lock sits on whichever ModN the keymap puts it; find it afresh at each registration
    // since the keymap can change while we run.
    auto* symbols = xcb_key_symbols_alloc(m_connection);
    if (!symbols)
        return 0;
    XcbReply<xcb_keycode_t> numLockCodes(xcb_key_symbols_get_keycode(symbols, numLockKeysym));
    xcb_key_symbols_free(symbols);
    if (!numLockCodes)
        return 0;

    const auto mapping = replyOf(xcb_get_modifier_mapping_reply, m_connection, xcb_get_modifier_mapping(m_connection));
    if (!mapping)
        return 0;
    const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int index = 0; index < perModifier; ++index) {
            const xcb_keycode_t keycode = keycodes[modifier * perModifier + index];
            if (keycode == 0)
                continue;
            for (const xcb_keycode_t* code = numLockCodes.get(); *code != XCB_NO_SYMBOL; ++code) {
                if (*code == keycode)
                    return static_cast<std::uint16_t>(1u << modifier);
            }
        }
    }
    return 0;
}

std::expected<HotkeyReference, CarbonHotkeyRegistrationError>
CarbonHotkeyRegistrar::registerHotkey(const HotkeyBinding& hotkey, EventHotKeyID hotkeyID)
{
    const auto keycode = xKeycodeForMacKeyCode(hotkey.keyCode);
    if (!m_connection || xcb_connection_has_error(m_connection) || m_root == 0 || !keycode)
        return std::unexpected(CarbonHotkeyRegistrationError{untranslatableKeyStatus});

    Grab grab;
    grab.keycode = *keycode;
    grab.modifiers = x11ModifiersForCarbon(hotkey.modifiers);
    grab.hotkeyID = hotkeyID;
    const std::uint16_t numLock = numLockMask() & ~grab.modifiers;
    grab.ignoredLockMask = x11LockMask | numLock;

    std::vector<std::uint16_t> states;
    for (const std::uint16_t lock : {std::uint16_t(0), x11LockMask, numLock, std::uint16_t(x11LockMask | numLock)}) {
        const std::uint16_t state = grab.modifiers | lock;
        if (std::find(states.begin(), states.end(), state) == states.end())
            states.push_back(state);
    }

    std::vector<xcb_void_cookie_t> cookies;
    cookies.reserve(states.size());
    for (const std::uint16_t state : states) {
        // owner_events false: the press is reported on the root even when one of our own
        // windows has the focus, so the filter below sees every press.
        cookies.push_back(xcb_grab_key_checked(m_connection, 0, m_root, state, grab.keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }

    // Wait for the server's verdict on every variant before reporting anything: a refusal
    // arrives asynchronously, and reading it too early would call a refused grab a success.
    std::optional<std::int32_t> refusal;
    for (std::size_t index = 0; index < cookies.size(); ++index) {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(m_connection, cookies[index]));
        if (error) {
            if (!refusal)
                refusal = error->error_code;
        } else {
            grab.grabbedStates.push_back(states[index]);
        }
    }

    if (refusal) {
        // Half a shortcut (working only with Caps Lock off, say) would be worse than none.
        ungrab(grab);
        xcb_flush(m_connection);
        return std::unexpected(CarbonHotkeyRegistrationError{*refusal});
    }

    const HotkeyReference reference = m_nextReference++;
    m_grabs.emplace(reference, std::move(grab));
    return reference;
}

void CarbonHotkeyRegistrar::unregisterHotkey(HotkeyReference reference)
{
    const auto it = m_grabs.find(reference);
    if (it == m_grabs.end())
        return;
    ungrab(it->second);
    m_grabs.erase(it);
    xcb_flush(m_connection);
}

void CarbonHotkeyRegistrar::ungrab(const Grab& grab)
{
    if (!m_connection || xcb_connection_has_error(m_connection))
        return;
    for (const std::uint16_t state : grab.grabbedStates)
        xcb_ungrab_key(m_connection, grab.keycode, m_root, state);
}

bool CarbonHotkeyRegistrar::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || !message || m_grabs.empty())
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = event->response_type & ~0x80;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (key->event != m_root)
        return false;

    if (type == XCB_KEY_RELEASE) {
        // Modifiers may already be up when the key is released: match the key alone.
        bool matched = false;
        for (auto& [reference, grab] : m_grabs) {
            if (grab.keycode == key->detail) {
                grab.held = false;
                grab.lastReleaseTime = key->time;
                matched = true;
            }
        }
        return matched;
    }

    bool matched = false;
    std::optional<EventHotKeyID> pressed;
    for (auto& [reference, grab] : m_grabs) {
        if (grab.keycode != key->detail
            || (key->state & bindingModifierBits & ~grab.ignoredLockMask) != grab.modifiers)
            continue;
        // Key repeat comes two ways: with detectable auto-repeat only presses arrive while the
        // key is held; without it each repeat is a release and a press with the same time.
        const bool repeat = grab.held || (grab.lastReleaseTime != 0 && key->time == grab.lastReleaseTime);
        grab.held = true;
        matched = true;
        if (!repeat)
            pressed = grab.hotkeyID;
        break;
    }
    // Outside the loop: the handler may register or unregister hotkeys.
    if (pressed && m_handler)
        m_handler(*pressed);
    return matched;
}

} // namespace zen
