#pragma once

#include "Snapshots/Snapshot.h"

#include <cstdint>
#include <expected>
#include <functional>

namespace zen {

// Identifies a registered hotkey in press notifications: a four-character signature of the
// registering program and a number of its choosing.
struct EventHotKeyID {
    std::uint32_t signature = 0;
    std::uint32_t id = 0;
    friend bool operator==(const EventHotKeyID&, const EventHotKeyID&) = default;
};

// Opaque handle of one registration, meaningful only to the registrar that returned it.
using HotkeyReference = std::uint64_t;

// A registration the system refused; `status` is the platform's code for the refusal.
struct CarbonHotkeyRegistrationError {
    std::int32_t status = 0;
};

using HotkeyPressHandler = std::function<void(EventHotKeyID)>;

// Registers system-wide shortcuts. Implementations report success only once the system has
// confirmed the registration.
class HotkeyRegistering {
public:
    virtual ~HotkeyRegistering() = default;
    virtual std::expected<HotkeyReference, CarbonHotkeyRegistrationError>
    registerHotkey(const HotkeyBinding& hotkey, EventHotKeyID hotkeyID) = 0;
    // Never fails; an unknown reference is ignored.
    virtual void unregisterHotkey(HotkeyReference reference) = 0;
};

} // namespace zen
