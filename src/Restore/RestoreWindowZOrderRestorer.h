#pragma once

#include "Restore/RestoreWindowApplying.h"

#include <memory>
#include <optional>
#include <vector>

namespace zen {

// One placed window taking part in re-stacking.
struct RestoreWindowZOrderItem {
    WindowRecord savedWindow;
    std::int32_t processIdentifier = 0;
    DiscoveredWindow liveWindow;
};

// Which placed windows are raised, back-most first. Only windows saved with a stacking hint,
// visible and not minimized take part; a smaller hint is nearer the front, ties go by the
// saved id's upper-case text (the smaller text ends in front).
struct RestoreWindowZOrderPlanner {
    std::vector<RestoreWindowZOrderItem> raiseOrder(const std::vector<RestoreWindowZOrderItem>& items) const;
    std::optional<RestoreWindowZOrderItem> frontmostItem(const std::vector<RestoreWindowZOrderItem>& items) const;
};

// Raises the placed windows back to front, then activates the front-most one's application
// and focuses that window. Failures are not reported: re-stacking is best effort.
struct RestoreWindowZOrderRestorer {
    RestoreWindowZOrderPlanner planner;
    std::shared_ptr<const RestoreWindowApplying> windowApplier;
    std::shared_ptr<const RestoreApplicationActivating> applicationActivator;

    void restore(const std::vector<RestoreWindowZOrderItem>& items) const;
};

} // namespace zen
