#pragma once

#include "Hotkeys/HotkeyRegistering.h"

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

struct xcb_connection_t;

namespace zen {

// Global hotkeys backed by X11 passive key grabs on the root window.
//
// Each binding is grabbed once per lock-modifier variant (none, Caps Lock, Num Lock, both),
// since X matches grabs on the exact modifier state and a lit Caps Lock would otherwise
// disable every shortcut. Presses reach the handler through Qt's native event filter, so the
// registrar must use the connection Qt reads events from (see forApplication) for presses to
// be delivered; any other connection can still grab, which is what tests of refusals need.
class CarbonHotkeyRegistrar final : public HotkeyRegistering, public QAbstractNativeEventFilter {
public:
    // Status of a binding whose key has no X keycode, or when there is no X connection.
    static constexpr std::int32_t untranslatableKeyStatus = -1;
    // X's BadAccess: another program already grabs the key with these modifiers.
    static constexpr std::int32_t keyGrabbedElsewhereStatus = 10;

    // On Qt's own X connection; null when the application does not run on X11.
    static std::unique_ptr<CarbonHotkeyRegistrar> forApplication();

    // The connection is borrowed and must outlive the registrar.
    explicit CarbonHotkeyRegistrar(xcb_connection_t* connection);
    ~CarbonHotkeyRegistrar() override;

    CarbonHotkeyRegistrar(const CarbonHotkeyRegistrar&) = delete;
    CarbonHotkeyRegistrar& operator=(const CarbonHotkeyRegistrar&) = delete;

    // Called on the main thread, once per press of a registered hotkey (key repeat ignored).
    // It may register and unregister hotkeys.
    void setPressHandler(HotkeyPressHandler handler);

    std::expected<HotkeyReference, CarbonHotkeyRegistrationError>
    registerHotkey(const HotkeyBinding& hotkey, EventHotKeyID hotkeyID) override;
    void unregisterHotkey(HotkeyReference reference) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab {
        std::uint8_t keycode = 0;
        std::uint16_t modifiers = 0;
        std::uint16_t ignoredLockMask = 0;
        std::vector<std::uint16_t> grabbedStates;
        EventHotKeyID hotkeyID;
        bool held = false;
        std::uint32_t lastReleaseTime = 0;
    };

    std::uint16_t numLockMask() const;
    void ungrab(const Grab& grab);

    xcb_connection_t* m_connection;
    std::uint32_t m_root = 0;
    HotkeyPressHandler m_handler;
    std::map<HotkeyReference, Grab> m_grabs;
    HotkeyReference m_nextReference = 1;
};

} // namespace zen
