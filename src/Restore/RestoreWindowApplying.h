#pragma once

#include "Restore/RestoreResult.h"
#include "Shared/Geometry.h"
#include "Snapshots/Snapshot.h"
#include "WindowDiscovery/DiscoveredApplication.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace zen {

// The outcome of placing one window: exactly one of downgrade-or-nothing (restored) and a
// failure reason (not restored).
struct RestoreWindowApplyResult {
    bool didRestore = false;
    std::optional<RestoreDowngrade> downgrade;
    std::optional<QString> failureReason;

    static RestoreWindowApplyResult restored(std::optional<RestoreDowngrade> downgrade = std::nullopt)
    {
        return {true, std::move(downgrade), std::nullopt};
    }
    static RestoreWindowApplyResult failed(const QString& reason) { return {false, std::nullopt, reason}; }
};

struct RestoreWindowFocusResult {
    bool didRaise = false;
    bool didSetMain = false;
    bool didSetFocused = false;
};

// One window of a batch of placements; the records outlive the call.
struct RestoreWindowPlacement {
    const WindowRecord* savedWindow = nullptr;
    CGRect targetFrame;
    const DiscoveredWindow* liveWindow = nullptr;
};

// Moves, resizes, un-minimizes, raises and focuses one live window. Never fails outwardly:
// the results say what happened.
class RestoreWindowApplying {
public:
    virtual ~RestoreWindowApplying() = default;
    virtual RestoreWindowApplyResult apply(const WindowRecord& savedWindow, const CGRect& targetFrame,
                                           const DiscoveredWindow& liveWindow) const = 0;
    virtual bool raise(const DiscoveredWindow& liveWindow) const = 0;
    virtual RestoreWindowFocusResult focus(const DiscoveredWindow& liveWindow) const = 0;

    // Every placement, one result each in the same order: as `apply` for each, but an
    // applier that can send the writes of all windows before learning any answer does so.
    virtual std::vector<RestoreWindowApplyResult> applyAll(const std::vector<RestoreWindowPlacement>& placements) const
    {
        std::vector<RestoreWindowApplyResult> results;
        results.reserve(placements.size());
        for (const auto& p : placements)
            results.push_back(apply(*p.savedWindow, p.targetFrame, *p.liveWindow));
        return results;
    }
    // Raises the windows in the order given (the last ends in front); batched likewise.
    virtual void raiseAll(const std::vector<const DiscoveredWindow*>& windows) const
    {
        for (const DiscoveredWindow* w : windows)
            raise(*w);
    }
};

// Asks the system to start an application; true when a launch was requested.
class RestoreApplicationLaunching {
public:
    virtual ~RestoreApplicationLaunching() = default;
    virtual bool requestLaunch(const QString& bundleIdentifier) const = 0;
};

// Brings a running application to the front.
class RestoreApplicationActivating {
public:
    virtual ~RestoreApplicationActivating() = default;
    virtual bool activate(std::int32_t processIdentifier) const = 0;
};

} // namespace zen
