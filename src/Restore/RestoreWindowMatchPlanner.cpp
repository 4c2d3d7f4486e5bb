#include "Restore/RestoreWindowMatchPlanner.h"

#include "Restore/RestoreSkipReason.h"
#include "Shared/StringExtensions.h"
#include "Shared/TextEquivalence.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zen {

namespace {

constexpr double kMaxOriginShift = 160;
constexpr double kMinSizeTolerance = 80;
constexpr double kRelativeSizeTolerance = 0.25;
constexpr int kPlausibleFrameBonus = 150;

// What the score looks at of a window, worked out once per window rather than once per pair:
// with n saved and m live windows of one application every window takes part in n or m pairs.
struct MatchFacts {
    std::int32_t pid = 0;
    std::optional<QString> title; // trimmed, non-empty, canonical
    QString role;                 // canonical, untrimmed
    std::optional<QString> subrole;
    CGRect frame; // standardized
    bool finiteFrame = false;
    // See numberTexts.
    std::size_t titleHash = 0;
    int roleKey = 0;

    static MatchFacts make(std::int32_t pid, const std::optional<QString>& title, const QString& role,
                           const std::optional<QString>& subrole, const CGRect& frame)
    {
        return MatchFacts{pid,           canonicalForm(nonEmptyValue(title)), canonicalForm(role), canonicalForm(subrole),
                          frame.standardized(), frame.isFinite()};
    }
    static MatchFacts of(const WindowRecord& w)
    {
        return make(w.pidAtCapture, w.windowTitle, w.role, w.subrole, w.frame.cgRect());
    }
    static MatchFacts of(const RestoreWindowCandidate& c)
    {
        return make(c.pid, c.title, c.role, c.subrole, c.frame);
    }
};

// Keys for both sides of one group: a role key, equal exactly when role and subrole are (an
// application has only a handful of kinds of window), and a title hash, so that text is
// compared only where hashes agree. Comparing texts for every pair was most of the time
// spent scoring a large group.
void numberTexts(std::vector<MatchFacts>& saved, std::vector<MatchFacts>& candidates)
{
    std::vector<std::pair<QString, std::optional<QString>>> roles;
    for (auto* side : {&saved, &candidates}) {
        for (MatchFacts& f : *side) {
            if (f.title)
                f.titleHash = qHash(*f.title);
            const std::pair<QString, std::optional<QString>> role {f.role, f.subrole};
            const auto it = std::find(roles.begin(), roles.end(), role);
            f.roleKey = int(it - roles.begin());
            if (it == roles.end())
                roles.push_back(role);
        }
    }
}

bool sameRole(const MatchFacts& a, const MatchFacts& b)
{
    return a.roleKey == b.roleKey;
}

struct Score {
    int score = 0;
    double distance = 0;
};

// The public measures below, for frames already standardized and known to be finite.
bool isPlausibleStandardized(const CGRect& c, const CGRect& s)
{
    return std::fabs(c.minX() - s.minX()) <= kMaxOriginShift && std::fabs(c.minY() - s.minY()) <= kMaxOriginShift
        && std::fabs(c.width() - s.width()) <= std::max(kMinSizeTolerance, kRelativeSizeTolerance * s.width())
        && std::fabs(c.height() - s.height()) <= std::max(kMinSizeTolerance, kRelativeSizeTolerance * s.height());
}

double distanceStandardized(const CGRect& c, const CGRect& s)
{
    return std::fabs(c.minX() - s.minX()) + std::fabs(c.minY() - s.minY()) + std::fabs(c.width() - s.width())
        + std::fabs(c.height() - s.height());
}

int similarityFromDistance(double d, const CGRect& s)
{
    double ratio = d / std::max(1.0, s.width() + s.height());
    // Overflowing sizes give inf/inf; treat what cannot be measured as no similarity.
    if (!(ratio >= 0) || !std::isfinite(ratio))
        ratio = 1;
    return static_cast<int>(std::trunc((1 - std::min(1.0, ratio)) * 100));
}

std::optional<Score> score(const MatchFacts& saved, const MatchFacts& candidate)
{
    const bool finite = saved.finiteFrame && candidate.finiteFrame;
    const bool sameProcess = candidate.pid == saved.pid;
    const bool titleMatch = saved.titleHash == candidate.titleHash && saved.title && candidate.title && *saved.title == *candidate.title;
    const bool roleMatch = sameRole(saved, candidate);
    const bool plausible = finite && isPlausibleStandardized(candidate.frame, saved.frame);

    int base = 0;
    if (sameProcess)
        base = titleMatch ? (roleMatch ? 1950 : 1700) : (roleMatch ? 1250 : 1000);
    else if (titleMatch)
        base = roleMatch ? 950 : 700;
    else if (roleMatch && plausible)
        base = 250;
    else
        return std::nullopt;

    // A frame we cannot measure is as far away as can be (see restoreFrameDistance).
    const double distance = finite ? distanceStandardized(candidate.frame, saved.frame) : std::numeric_limits<double>::infinity();
    return Score{base + (plausible ? kPlausibleFrameBonus : 0) + similarityFromDistance(distance, saved.frame), distance};
}

// A scored pair by position in the group's lists; cheaper to sort than full scored matches.
struct PairScore {
    int score;
    double distance;
    std::size_t savedIndex;
    std::int64_t candidateID;
    std::size_t savedSlot;
    std::size_t candidateSlot;
};

// The same order as RestoreWindowScoredMatch's <.
bool comesFirst(const PairScore& a, const PairScore& b)
{
    if (a.score != b.score)
        return a.score > b.score;
    if (a.distance != b.distance)
        return a.distance < b.distance;
    if (a.savedIndex != b.savedIndex)
        return a.savedIndex < b.savedIndex;
    return a.candidateID < b.candidateID;
}

// A global greedy choice over every pair of one application: the best-scored pair wins, and
// neither of its windows takes part in another pair.
// Returns, for each saved slot, the candidate slot chosen for it or none.
std::vector<std::optional<std::size_t>> bestAssignments(const std::vector<std::size_t>& savedIndexes,
                                                        const std::vector<MatchFacts>& savedFacts,
                                                        const std::vector<const RestoreWindowCandidate*>& candidates,
                                                        const std::vector<MatchFacts>& candidateFacts)
{
    std::vector<PairScore> pairs;
    pairs.reserve(savedIndexes.size() * candidates.size());
    std::vector<bool> savedPaired(savedIndexes.size(), false), candidatePaired(candidates.size(), false);
    for (std::size_t s = 0; s < savedIndexes.size(); ++s)
        for (std::size_t c = 0; c < candidates.size(); ++c)
            if (auto sc = score(savedFacts[s], candidateFacts[c])) {
                pairs.push_back(PairScore{sc->score, sc->distance, savedIndexes[s], candidates[c]->id, s, c});
                savedPaired[s] = true;
                candidatePaired[c] = true;
            }

    std::vector<std::optional<std::size_t>> assignment(savedIndexes.size());
    std::vector<bool> taken(candidates.size(), false);
    // No more pairs can be made than windows on the smaller side that have any pair at all.
    std::size_t remaining = std::min(std::size_t(std::ranges::count(savedPaired, true)),
                                     std::size_t(std::ranges::count(candidatePaired, true)));
    if (remaining == 0)
        return assignment;

    // Sorting every pair took most of a large restore's planning, yet the choice needs the
    // full order only among pairs whose windows are both still free. Scores are small
    // integers, so the pairs are bucketed by score (one counting pass); each bucket, best
    // first, drops the pairs whose windows earlier buckets took and sorts only the rest. With
    // n windows a side, most of the n * n pairs are dropped unsorted.
    const auto [lowest, highest] = std::ranges::minmax_element(pairs, {}, &PairScore::score);
    const int low = lowest->score;
    std::vector<std::size_t> bucketStart(std::size_t(highest->score - low) + 2, 0);
    for (const PairScore& pair : pairs)
        ++bucketStart[std::size_t(pair.score - low) + 1];
    for (std::size_t b = 1; b < bucketStart.size(); ++b)
        bucketStart[b] += bucketStart[b - 1];
    std::vector<std::size_t> byScore(pairs.size());
    {
        std::vector<std::size_t> next(bucketStart.begin(), bucketStart.end() - 1);
        for (std::size_t i = 0; i < pairs.size(); ++i)
            byScore[next[std::size_t(pairs[i].score - low)]++] = i;
    }
    std::vector<const PairScore*> live;
    for (std::size_t b = bucketStart.size() - 1; b-- > 0 && remaining > 0;) {
        live.clear();
        for (std::size_t k = bucketStart[b]; k < bucketStart[b + 1]; ++k) {
            const PairScore& pair = pairs[byScore[k]];
            if (!assignment[pair.savedSlot] && !taken[pair.candidateSlot])
                live.push_back(&pair);
        }
        std::sort(live.begin(), live.end(), [](const PairScore* a, const PairScore* b) { return comesFirst(*a, *b); });
        for (const PairScore* pair : live) {
            if (remaining == 0)
                break;
            if (assignment[pair->savedSlot] || taken[pair->candidateSlot])
                continue;
            // Candidate ids are unique within a call, so a taken slot stands for a taken id.
            assignment[pair->savedSlot] = pair->candidateSlot;
            taken[pair->candidateSlot] = true;
            --remaining;
        }
    }
    return assignment;
}

// A program started by this restore opens its windows wherever the window manager puts
// them, often under another title than the saved one (a document, a command line), so
// scoring alone leaves them unpaired. Every window it shows is new, so the saved windows
// still without one take its leftover windows of the same role and subrole: saved windows in
// stored order, new windows in the order they were found.
void pairLaunchedLeftovers(std::vector<std::optional<std::size_t>>& assignment, const std::vector<MatchFacts>& savedFacts,
                           const std::vector<MatchFacts>& candidateFacts)
{
    std::vector<bool> taken(candidateFacts.size(), false);
    for (const auto& chosen : assignment) {
        if (chosen)
            taken[*chosen] = true;
    }
    for (std::size_t s = 0; s < assignment.size(); ++s) {
        if (assignment[s])
            continue;
        for (std::size_t c = 0; c < candidateFacts.size(); ++c) {
            if (!taken[c] && sameRole(savedFacts[s], candidateFacts[c])) {
                assignment[s] = c;
                taken[c] = true;
                break;
            }
        }
    }
}

RestoreWindowPlan skipped(const WindowRecord& saved, const QString& reason)
{
    RestoreSkip skip;
    skip.bundleIdentifier = saved.bundleIdentifier;
    skip.windowTitle = saved.windowTitle;
    skip.reason = reason;
    return RestoreWindowPlan{saved, std::nullopt, std::move(skip)};
}

} // namespace

bool operator==(const RestoreWindowCandidate& a, const RestoreWindowCandidate& b)
{
    return a.id == b.id && a.pid == b.pid && a.frame == b.frame && canonicallyEqual(a.bundleIdentifier, b.bundleIdentifier)
        && canonicallyEqual(a.title, b.title) && canonicallyEqual(a.role, b.role)
        && canonicallyEqual(a.subrole, b.subrole);
}

bool isPlausibleRoleRestoreMatch(const CGRect& candidateFrame, const CGRect& savedFrame)
{
    // Every comparison with NaN is false, but an infinite coordinate would pass a bound of
    // infinity; refuse both outright.
    if (!candidateFrame.isFinite() || !savedFrame.isFinite())
        return false;
    return isPlausibleStandardized(candidateFrame.standardized(), savedFrame.standardized());
}

double restoreFrameDistance(const CGRect& candidateFrame, const CGRect& savedFrame)
{
    // A NaN distance would break the total order the greedy choice sorts by; a frame we cannot
    // measure is simply as far away as can be.
    if (!candidateFrame.isFinite() || !savedFrame.isFinite())
        return std::numeric_limits<double>::infinity();
    return distanceStandardized(candidateFrame.standardized(), savedFrame.standardized());
}

int restoreSimilarityScore(const CGRect& candidateFrame, const CGRect& savedFrame)
{
    return similarityFromDistance(restoreFrameDistance(candidateFrame, savedFrame), savedFrame.standardized());
}

std::optional<RestoreWindowScoredMatch> RestoreWindowMatchPlanner::scoredMatch(std::size_t savedIndex,
                                                                               const WindowRecord& savedWindow,
                                                                               const RestoreWindowCandidate& candidate)
{
    std::vector<MatchFacts> saved {MatchFacts::of(savedWindow)}, live {MatchFacts::of(candidate)};
    numberTexts(saved, live);
    const auto sc = score(saved.front(), live.front());
    if (!sc)
        return std::nullopt;
    return RestoreWindowScoredMatch{savedIndex, candidate, sc->score, sc->distance};
}

std::vector<RestoreWindowPlan> RestoreWindowMatchPlanner::plans(
    const std::vector<WindowRecord>& savedWindows, const std::vector<RestoreWindowCandidate>& candidates,
    const std::optional<QSet<QString>>& runningBundleIdentifiers,
    const QSet<QString>& singletonFallbackBundleIdentifiers, const QSet<QString>& launchedBundleIdentifiers) const
{
    // Bundle identifiers are compared canonically throughout, so every lookup goes through
    // the canonical form.
    QHash<QString, std::vector<const RestoreWindowCandidate*>> candidatesByBundle;
    for (const RestoreWindowCandidate& candidate : candidates)
        candidatesByBundle[canonicalForm(candidate.bundleIdentifier)].push_back(&candidate);

    QSet<QString> running;
    if (runningBundleIdentifiers) {
        for (const QString& bundle : *runningBundleIdentifiers)
            running.insert(canonicalForm(bundle));
    } else {
        for (auto it = candidatesByBundle.cbegin(); it != candidatesByBundle.cend(); ++it)
            running.insert(it.key());
    }
    QSet<QString> singletonFallback;
    for (const QString& bundle : singletonFallbackBundleIdentifiers)
        singletonFallback.insert(canonicalForm(bundle));
    QSet<QString> launchedBundles;
    for (const QString& bundle : launchedBundleIdentifiers)
        launchedBundles.insert(canonicalForm(bundle));

    std::vector<std::optional<RestoreWindowPlan>> result(savedWindows.size());
    // Groups in order of first appearance so the work is deterministic; their order does not
    // change the outcome.
    std::vector<QString> groupOrder;
    QHash<QString, std::vector<std::size_t>> groups;
    for (std::size_t i = 0; i < savedWindows.size(); ++i) {
        const QString bundle = canonicalForm(savedWindows[i].bundleIdentifier);
        if (!running.contains(bundle)) {
            result[i] = skipped(savedWindows[i], RestoreSkipReason::appNotRunning);
            continue;
        }
        auto it = groups.find(bundle);
        if (it == groups.end()) {
            groupOrder.push_back(bundle);
            it = groups.insert(bundle, {});
        }
        it->push_back(i);
    }

    static const std::vector<const RestoreWindowCandidate*> noCandidates;
    for (const QString& bundle : groupOrder) {
        const std::vector<std::size_t>& savedIndexes = groups[bundle];
        const auto found = candidatesByBundle.constFind(bundle);
        const auto& groupCandidates = found == candidatesByBundle.cend() ? noCandidates : *found;
        if (groupCandidates.empty())
            continue; // all "window not found" below

        std::vector<MatchFacts> savedFacts;
        savedFacts.reserve(savedIndexes.size());
        for (std::size_t i : savedIndexes)
            savedFacts.push_back(MatchFacts::of(savedWindows[i]));
        std::vector<MatchFacts> candidateFacts;
        candidateFacts.reserve(groupCandidates.size());
        for (const RestoreWindowCandidate* c : groupCandidates)
            candidateFacts.push_back(MatchFacts::of(*c));
        numberTexts(savedFacts, candidateFacts);

        if (singletonFallback.contains(bundle) && savedIndexes.size() == 1 && groupCandidates.size() == 1
            && sameRole(savedFacts.front(), candidateFacts.front())) {
            // Applications that only ever have one window: their one window is the saved one,
            // whatever its title or frame has become.
            const std::size_t i = savedIndexes.front();
            result[i] = RestoreWindowPlan{savedWindows[i], *groupCandidates.front(), std::nullopt};
            continue;
        }

        auto assignment = bestAssignments(savedIndexes, savedFacts, groupCandidates, candidateFacts);
        if (launchedBundles.contains(bundle))
            pairLaunchedLeftovers(assignment, savedFacts, candidateFacts);
        for (std::size_t slot = 0; slot < savedIndexes.size(); ++slot) {
            if (!assignment[slot])
                continue;
            const std::size_t i = savedIndexes[slot];
            result[i] = RestoreWindowPlan{savedWindows[i], *groupCandidates[*assignment[slot]], std::nullopt};
        }
    }

    std::vector<RestoreWindowPlan> plans;
    plans.reserve(savedWindows.size());
    for (std::size_t i = 0; i < savedWindows.size(); ++i)
        plans.push_back(result[i] ? std::move(*result[i]) : skipped(savedWindows[i], RestoreSkipReason::windowNotFound));
    return plans;
}

} // namespace zen
