#pragma once

#include "Snapshots/Snapshot.h"

#include <cstdint>
#include <vector>

namespace zen {

// One saved display that has windows, with those windows in the layout's stored order.
struct DashboardDisplayPreviewModel {
    DisplayRecord display;
    std::vector<WindowRecord> windows;

    std::uint32_t id() const { return display.id; }
};

} // namespace zen
