#pragma once

#include "Shared/Geometry.h"
#include "Snapshots/Snapshot.h"

#include <QUuid>

#include <cstdint>
#include <vector>

namespace zen {

// Windows of one display that overlap so much that the preview pictures only the front-most.
// Members are in restore order; a group built by the presentation is never empty, and
// `id()` and `frontmostWindow()` need a non-empty group.
struct DashboardWindowPreviewGroup {
    std::uint32_t displayID = 0;
    std::vector<WindowRecord> windows;
    CGRect displayFrame;

    const QUuid& id() const { return windows.front().id; }
    const WindowRecord& frontmostWindow() const { return windows.front(); }
    int overlapCount() const { return windows.empty() ? 0 : static_cast<int>(windows.size()) - 1; }
};

} // namespace zen
