#pragma once

#include "Displays/DisplayResolver.h"
#include "Hotkeys/HotkeyRegistering.h"
#include "Infrastructure/TelemetryLogger.h"

#include <map>
#include <set>
#include <vector>

// Recording stand-ins shared by the capture, restore, hotkey and start-up tests.
namespace zen::test {

struct RecordingTelemetryLogger final : TelemetryLogging {
    mutable std::vector<TelemetryLogEvent> events;
    void log(const TelemetryLogEvent& e) const override { events.push_back(e); }
};

// A screen whose usable area starts `topInset` below its top edge (a panel).
inline DisplayResolver::ScreenSnapshot screenSnapshot(std::uint32_t id, CGRect frame, bool primary, double topInset = 0)
{
    DisplayResolver::ScreenSnapshot s;
    s.id = id;
    s.localizedName = QStringLiteral("Display %1").arg(id);
    s.frame = frame;
    s.visibleFrame = CGRect(frame.origin.x, frame.origin.y + topInset, frame.size.width, frame.size.height - topInset);
    s.isPrimary = primary;
    return s;
}

// Records registrations; refuses the keys it is told to.
class FakeHotkeyRegistrar final : public HotkeyRegistering {
public:
    std::expected<HotkeyReference, CarbonHotkeyRegistrationError> registerHotkey(const HotkeyBinding& hotkey,
                                                                                 EventHotKeyID id) override
    {
        if (refusedKeyCodes.contains(hotkey.keyCode))
            return std::unexpected(CarbonHotkeyRegistrationError{10});
        const HotkeyReference reference = nextReference++;
        live[reference] = {hotkey, id};
        return reference;
    }
    void unregisterHotkey(HotkeyReference reference) override { live.erase(reference); }

    // The ids of the live registrations, in registration order.
    std::vector<std::uint32_t> liveIDs() const
    {
        std::vector<std::uint32_t> ids;
        for (const auto& [reference, entry] : live)
            ids.push_back(entry.second.id);
        return ids;
    }

    std::set<std::uint32_t> refusedKeyCodes;
    std::map<HotkeyReference, std::pair<HotkeyBinding, EventHotKeyID>> live;
    HotkeyReference nextReference = 100;
};

} // namespace zen::test
