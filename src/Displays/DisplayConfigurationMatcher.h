#pragma once

#include "Snapshots/Snapshot.h"

#include <QString>
#include <QUuid>

#include <optional>
#include <vector>

namespace zen {

// How the saved displays of a layout were paired with the connected ones.
enum class DisplayConfigurationMatchReason {
    hardwareIdentity,
    nameSizeScale,
};

// A layout whose saved displays fit the connected displays.
struct DisplayConfigurationMatch {
    QUuid snapshotID;
    QString snapshotName;
    DisplayConfigurationMatchReason reason = DisplayConfigurationMatchReason::hardwareIdentity;

    friend bool operator==(const DisplayConfigurationMatch& a, const DisplayConfigurationMatch& b)
    {
        return a.snapshotID == b.snapshotID && a.snapshotName == b.snapshotName && a.reason == b.reason;
    }
};

// Decides which saved layouts were made for the displays connected now. A layout fits when
// its displays pair one to one with the connected displays, by vendor, model and serial number
// when every display reports all three, otherwise by name, size and scale. Positions, ids, the
// primary flag and visible frames are ignored: they change when the user merely rearranges.
class DisplayConfigurationMatcher {
public:
    // One entry per fitting layout, in the order the layouts were given.
    std::vector<DisplayConfigurationMatch> matches(const std::vector<Snapshot>& snapshots,
                                                   const DisplayState& currentDisplayState) const;

    std::optional<DisplayConfigurationMatch> match(const Snapshot& snapshot,
                                                   const DisplayState& currentDisplayState) const;

    // The match when exactly one layout fits; none when no layout or several fit.
    std::optional<DisplayConfigurationMatch> uniqueMatch(const std::vector<Snapshot>& snapshots,
                                                         const DisplayState& currentDisplayState) const;
};

} // namespace zen
