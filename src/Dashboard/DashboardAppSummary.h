#pragma once

#include "Dashboard/DashboardAppIdentity.h"
#include "Snapshots/Snapshot.h"

#include <QStringList>

#include <vector>

namespace zen {

// One application of a layout with its saved windows in restore order.
struct DashboardAppSummary {
    DashboardAppIdentity identity;
    std::vector<WindowRecord> windows;

    const QString& id() const { return identity.bundleIdentifier; }
    const QString& bundleIdentifier() const { return identity.bundleIdentifier; }
    const QString& name() const { return identity.name; }
    int windowCount() const { return static_cast<int>(windows.size()); }
    // The windows' titles trimmed, blank and absent ones left out, in window order.
    QStringList visibleWindowTitles() const;
};

// An application of the layout that is not running now.
struct DashboardInactiveAppSummary {
    DashboardAppSummary appSummary;

    const QString& id() const { return appSummary.id(); }
    const DashboardAppIdentity& identity() const { return appSummary.identity; }
    const QString& name() const { return appSummary.name(); }
    int windowCount() const { return appSummary.windowCount(); }
};

} // namespace zen
