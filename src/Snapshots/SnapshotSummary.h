#pragma once

#include "Snapshots/Snapshot.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

namespace zen {

// The list row of one layout; identified by `id`.
struct SnapshotSummary {
    QUuid id;
    qsizetype appCount = 0;
    QString name;
    QDateTime createdAt;
    qsizetype displayCount = 0;
    QDateTime updatedAt;
    qsizetype windowCount = 0;
    std::optional<HotkeyBinding> hotkey;

    // Counts distinct applications (exact bundle identifiers) and the distinct saved displays
    // that hold at least one window.
    static SnapshotSummary fromSnapshot(const Snapshot& snapshot);
};

} // namespace zen
