#include "Snapshots/SnapshotSummary.h"

#include <QSet>

namespace zen {

SnapshotSummary SnapshotSummary::fromSnapshot(const Snapshot& snapshot)
{
    QSet<QString> apps;
    QSet<std::uint32_t> savedDisplays;
    QSet<std::uint32_t> usedDisplays;
    for (const DisplayRecord& display : snapshot.sourceDisplayState.displays)
        savedDisplays.insert(display.id);
    for (const WindowRecord& window : snapshot.windows) {
        apps.insert(window.bundleIdentifier);
        if (window.displayID && savedDisplays.contains(*window.displayID))
            usedDisplays.insert(*window.displayID);
    }
    SnapshotSummary s;
    s.id = snapshot.id;
    s.appCount = apps.size();
    s.name = snapshot.name;
    s.createdAt = snapshot.createdAt;
    s.displayCount = usedDisplays.size();
    s.updatedAt = snapshot.updatedAt;
    s.windowCount = qsizetype(snapshot.windows.size());
    s.hotkey = snapshot.hotkey;
    return s;
}

} // namespace zen
