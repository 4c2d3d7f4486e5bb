#pragma once

#include "Restore/RestoreResult.h"
#include "Shared/Geometry.h"
#include "Snapshots/Snapshot.h"

#include <QSet>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zen {

// A live window offered for pairing with saved windows.
struct RestoreWindowCandidate {
    // Unique among the candidates of one planning call.
    std::int64_t id = 0;
    QString bundleIdentifier;
    std::int32_t pid = 0;
    std::optional<QString> title;
    QString role;
    std::optional<QString> subrole;
    // Global top-left coordinates.
    CGRect frame;

    friend bool operator==(const RestoreWindowCandidate&, const RestoreWindowCandidate&);
};

// The verdict for one saved window: exactly one of candidate and skip is set.
struct RestoreWindowPlan {
    WindowRecord savedWindow;
    std::optional<RestoreWindowCandidate> candidate;
    std::optional<RestoreSkip> skip;
};

// One scored pairing. Ordered so that the better pairing is the smaller: higher score, then
// smaller distance, then smaller saved index, then smaller candidate id. The order is total
// for finite distances, and distances are never NaN (see scoredMatch).
struct RestoreWindowScoredMatch {
    std::size_t savedIndex = 0;
    RestoreWindowCandidate candidate;
    int score = 0;
    double distance = 0;

    friend bool operator==(const RestoreWindowScoredMatch& a, const RestoreWindowScoredMatch& b)
    {
        return a.savedIndex == b.savedIndex && a.candidate.id == b.candidate.id && a.score == b.score
            && a.distance == b.distance;
    }
    friend bool operator<(const RestoreWindowScoredMatch& a, const RestoreWindowScoredMatch& b)
    {
        if (a.score != b.score)
            return a.score > b.score;
        if (a.distance != b.distance)
            return a.distance < b.distance;
        if (a.savedIndex != b.savedIndex)
            return a.savedIndex < b.savedIndex;
        return a.candidate.id < b.candidate.id;
    }
    friend bool operator>(const RestoreWindowScoredMatch& a, const RestoreWindowScoredMatch& b) { return b < a; }
    friend bool operator<=(const RestoreWindowScoredMatch& a, const RestoreWindowScoredMatch& b) { return !(b < a); }
    friend bool operator>=(const RestoreWindowScoredMatch& a, const RestoreWindowScoredMatch& b) { return !(a < b); }
};

// Whether a live frame is close enough to a saved frame to stand in for it when nothing but
// the role ties them together: origin within 160 points, size within max(80, 25 %) of the
// saved size, every bound inclusive. Frames with a non-finite coordinate are never plausible.
bool isPlausibleRoleRestoreMatch(const CGRect& candidateFrame, const CGRect& savedFrame);

// The sum of the differences of origin and size (standardized rectangles); +infinity when a
// frame has a non-finite coordinate.
double restoreFrameDistance(const CGRect& candidateFrame, const CGRect& savedFrame);

// 0 to 100: how little the live frame departs from the saved one, relative to its size.
int restoreSimilarityScore(const CGRect& candidateFrame, const CGRect& savedFrame);

// Pairs saved windows with live windows of the same application, at most one each way.
// Pure and stateless: copies are free and calls may run on any thread.
class RestoreWindowMatchPlanner {
public:
    // One plan per saved window, in the order of the saved windows. Without a running set,
    // the applications that have candidates count as running. An application in the singleton
    // fallback set with one saved and one live window of the same role and subrole pairs them
    // without looking at title, process or frame. For an application in the launched set
    // (started by this restore, so every window of it is new), saved windows that scoring
    // left without a window take its leftover windows of the same role and subrole, in saved
    // and discovery order.
    std::vector<RestoreWindowPlan> plans(const std::vector<WindowRecord>& savedWindows,
                                         const std::vector<RestoreWindowCandidate>& candidates,
                                         const std::optional<QSet<QString>>& runningBundleIdentifiers,
                                         const QSet<QString>& singletonFallbackBundleIdentifiers = {},
                                         const QSet<QString>& launchedBundleIdentifiers = {}) const;

    // The score of one pairing, or none when the two have too little in common. Exposed so the
    // score table can be checked pairing by pairing.
    static std::optional<RestoreWindowScoredMatch> scoredMatch(std::size_t savedIndex, const WindowRecord& savedWindow,
                                                               const RestoreWindowCandidate& candidate);
};

} // namespace zen
