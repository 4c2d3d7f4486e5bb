#pragma once

#include "Dashboard/DashboardAppIdentity.h"
#include "Dashboard/DashboardAppSummary.h"
#include "Dashboard/DashboardDisplayPreviewModel.h"
#include "Dashboard/DashboardWindowPreviewGroup.h"
#include "Shared/Geometry.h"
#include "Snapshots/Snapshot.h"

#include <QSet>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace zen {

// What the dashboard draws of one stored layout, as pure functions: no state, no caching.
// Names and icons come from the identity resolver the caller passes in.
class DashboardSnapshotPresentation {
public:
    DashboardSnapshotPresentation() = delete;

    using IdentityResolver = std::function<DashboardAppIdentity(const QString& bundleIdentifier)>;

    // Share of the smaller window's area above which two windows are pictured as one.
    static constexpr double windowOverlapThreshold = 0.35;

    // Applications with their windows: most windows first, then by name as a person sorts
    // ("App 2" before "App 10", letter case ignored), then by bundle identifier.
    static std::vector<DashboardAppSummary> appSummaries(const Snapshot& snapshot,
                                                         const IdentityResolver& identityResolver);
    // What a restore will do about the apps that are not running, one note a line: it opens
    // the apps it finds a desktop entry for; the others it cannot start, and says so by name.
    static QStringList inactiveAppsNotes(const std::vector<DashboardInactiveAppSummary>& inactive);
    // The application summaries whose bundle identifier is not running, in the same order.
    static std::vector<DashboardInactiveAppSummary> inactiveAppSummaries(
        const Snapshot& snapshot, const QSet<QString>& runningBundleIdentifiers,
        const IdentityResolver& identityResolver);

    // The saved displays that have windows, in stored display order.
    static std::vector<DashboardDisplayPreviewModel> displayPreviewModels(const Snapshot& snapshot);
    // Why the preview has no display to draw; absent when it has one.
    static std::optional<QString> displayPreviewEmptyMessage(const Snapshot& snapshot);
    // Windows that name no saved display, in stored order.
    static std::vector<WindowRecord> unassignedWindows(const Snapshot& snapshot);

    // Clusters of windows whose overlap reaches the threshold, each in restore order.
    static std::vector<DashboardWindowPreviewGroup> windowPreviewGroups(
        const std::vector<WindowRecord>& windows, std::uint32_t displayID, const CGRect& displayFrame,
        double overlapThreshold = windowOverlapThreshold);

    // The front-most window of each of those clusters, as indices into `windows`, front-most
    // cluster first. `order` is `restoreOrder(windows)`: callers that list the windows too sort
    // them once.
    static std::vector<std::size_t> previewGroupFronts(const std::vector<WindowRecord>& windows,
                                                       const std::vector<std::size_t>& order,
                                                       const CGRect& displayFrame,
                                                       double overlapThreshold = windowOverlapThreshold);

    // How many pairs of window frames the grouping has compared in this process: the work a
    // rebuild does, counted rather than timed.
    static std::uint64_t overlapTestCount();

    // The window's frame placed in the display's saved frame.
    static CGRect previewFrame(const WindowRecord& window, const DisplayRecord& display);
    static CGRect previewFrame(const WindowRecord& window, const CGRect& displayFrame);

    // The windows in restore order: ascending stacking hint (front first), windows without a
    // hint last, ties by the id's upper-case text; a stable sort.
    static std::vector<WindowRecord> windowsForDisplayList(std::vector<WindowRecord> windows);
    // The same order as indices into `windows`, which stay where they are.
    static std::vector<std::size_t> restoreOrder(const std::vector<WindowRecord>& windows);
    static bool restoresBefore(const WindowRecord& a, const WindowRecord& b);

    // Compares names as a person expects: runs of digits by their value, letter case ignored.
    // Negative, zero or positive.
    static int localizedStandardCompare(const QString& a, const QString& b);
};

} // namespace zen
