#include "Restore/RestoreWindowMatchPlanner.h"

#include "Restore/RestoreSkipReason.h"
#include "Shared/StringExtensions.h"
#include "Shared/TextEquivalence.h"
#include "Support/SnapshotFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>
#include <random>
#include <set>

using namespace zen;
using namespace zen::test;

namespace {

const QString kEditor = QStringLiteral("org.example.Editor");
const QString kViewer = QStringLiteral("org.example.Viewer");

WindowRecord saved(const QString& bundle, std::int32_t pid, std::optional<QString> title, CGRect frame,
                   const QString& role = "AXWindow", std::optional<QString> subrole = QString("AXStandardWindow"))
{
    WindowRecord w = makeWindow(bundle);
    w.pidAtCapture = pid;
    w.windowTitle = std::move(title);
    w.role = role;
    w.subrole = std::move(subrole);
    w.frame = CGRectCodable(frame);
    return w;
}

RestoreWindowCandidate live(std::int64_t id, const QString& bundle, std::int32_t pid, std::optional<QString> title,
                            CGRect frame, const QString& role = "AXWindow",
                            std::optional<QString> subrole = QString("AXStandardWindow"))
{
    return RestoreWindowCandidate{id, bundle, pid, std::move(title), role, std::move(subrole), frame};
}

std::optional<int> scoreOf(const WindowRecord& s, const RestoreWindowCandidate& c)
{
    const auto m = RestoreWindowMatchPlanner::scoredMatch(0, s, c);
    return m ? std::optional(m->score) : std::nullopt;
}

// The chosen candidate id per saved window, or the skip reason.
std::vector<QString> outcome(const std::vector<RestoreWindowPlan>& plans)
{
    std::vector<QString> result;
    for (const RestoreWindowPlan& p : plans) {
        EXPECT_NE(p.candidate.has_value(), p.skip.has_value()) << "exactly one of candidate and skip";
        result.push_back(p.candidate ? QString::number(p.candidate->id) : p.skip ? p.skip->reason : QString("?"));
    }
    return result;
}

std::vector<QString> plan(const std::vector<WindowRecord>& savedWindows,
                          const std::vector<RestoreWindowCandidate>& candidates,
                          std::optional<QSet<QString>> running = std::nullopt, const QSet<QString>& singleton = {})
{
    return outcome(RestoreWindowMatchPlanner().plans(savedWindows, candidates, running, singleton));
}

const CGRect kFrame(100, 100, 800, 600);
const CGRect kFar(3000, 2000, 300, 200);

} // namespace

TEST(RestoreWindowMatchPlannerTest, WorkedExampleScoresTitleAfterTrimming)
{
    const auto m = RestoreWindowMatchPlanner::scoredMatch(
        3, saved(kEditor, 77, "Report", kFrame), live(5, kEditor, 77, " Report ", CGRect(110, 100, 800, 600)));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->score, 2199);
    EXPECT_EQ(m->distance, 10);
    EXPECT_EQ(m->savedIndex, 3u);
    EXPECT_EQ(m->candidate.id, 5);
}

TEST(RestoreWindowMatchPlannerTest, BaseScoresFollowProcessTitleAndRole)
{
    struct Row {
        bool sameProcess, titleMatch, roleMatch;
        std::optional<int> farScore;  // frame far away: base only, similarity 0
        std::optional<int> sameFrame; // identical frame: base + 150 + 100
    };
    const Row rows[] = {
        {true, true, true, 1950, 2200},   {true, true, false, 1700, 1950},  {true, false, true, 1250, 1500},
        {true, false, false, 1000, 1250}, {false, true, true, 950, 1200},   {false, true, false, 700, 950},
        {false, false, true, std::nullopt, 500}, {false, false, false, std::nullopt, std::nullopt},
    };
    for (const Row& row : rows) {
        const WindowRecord s = saved(kEditor, 10, "Notes", kFrame);
        for (const CGRect& frame : {kFar, kFrame}) {
            const auto c = live(1, kEditor, row.sameProcess ? 10 : 11, row.titleMatch ? "Notes" : "Other", frame,
                                row.roleMatch ? "AXWindow" : "AXDialog");
            EXPECT_EQ(scoreOf(s, c), frame == kFar ? row.farScore : row.sameFrame)
                << row.sameProcess << row.titleMatch << row.roleMatch << (frame == kFar ? " far" : " same");
        }
    }
}

TEST(RestoreWindowMatchPlannerTest, TitlesMatchTrimmedCaseSensitiveAndNeverWhenBlank)
{
    const auto titleMatches = [](std::optional<QString> a, std::optional<QString> b) {
        // Another process and another role: only a title match scores at all.
        return scoreOf(saved(kEditor, 1, a, kFar), live(0, kEditor, 2, b, kFrame, "AXDialog")).has_value();
    };
    EXPECT_TRUE(titleMatches("Draft", "Draft  \n"));
    EXPECT_TRUE(titleMatches(QString::fromUtf16(u"R\u00E9sum\u00E9"), QString::fromUtf16(u"Re\u0301sume\u0301")));
    EXPECT_FALSE(titleMatches("Draft", "draft"));
    EXPECT_FALSE(titleMatches(std::nullopt, std::nullopt));
    EXPECT_FALSE(titleMatches("", ""));
    EXPECT_FALSE(titleMatches("  ", "  "));
    EXPECT_FALSE(titleMatches("Draft", std::nullopt));
}

TEST(RestoreWindowMatchPlannerTest, RoleMatchNeedsEqualSubroles)
{
    const WindowRecord s = saved(kEditor, 1, std::nullopt, kFrame, "AXWindow", std::nullopt);
    EXPECT_TRUE(scoreOf(s, live(0, kEditor, 2, std::nullopt, kFrame, "AXWindow", std::nullopt)));
    EXPECT_FALSE(scoreOf(s, live(0, kEditor, 2, std::nullopt, kFrame, "AXWindow", QString("AXDialog"))));
    EXPECT_FALSE(scoreOf(s, live(0, kEditor, 2, std::nullopt, kFrame, "AXWindow ", std::nullopt)))
        << "roles are not trimmed";
}

TEST(RestoreWindowMatchPlannerTest, PlausibleFrameBoundsAreInclusive)
{
    const CGRect s(100, 100, 800, 200); // width tolerance 200 (25 %), height tolerance 80 (minimum)
    const auto plausible = [&](CGRect c) { return isPlausibleRoleRestoreMatch(c, s); };
    EXPECT_TRUE(plausible(CGRect(260, 100, 800, 200)));
    EXPECT_FALSE(plausible(CGRect(261, 100, 800, 200)));
    EXPECT_TRUE(plausible(CGRect(-60, 100, 800, 200)));
    EXPECT_FALSE(plausible(CGRect(-61, 100, 800, 200)));
    EXPECT_TRUE(plausible(CGRect(100, 260, 800, 200)));
    EXPECT_FALSE(plausible(CGRect(100, -60.5, 800, 200)));
    EXPECT_TRUE(plausible(CGRect(100, 100, 1000, 200)));
    EXPECT_FALSE(plausible(CGRect(100, 100, 1001, 200)));
    EXPECT_TRUE(plausible(CGRect(100, 100, 600, 200)));
    EXPECT_FALSE(plausible(CGRect(100, 100, 599, 200)));
    EXPECT_TRUE(plausible(CGRect(100, 100, 800, 280)));
    EXPECT_FALSE(plausible(CGRect(100, 100, 800, 281)));
    EXPECT_TRUE(plausible(CGRect(900, 300, -800, -200))) << "measured on the standardized rectangle";

    // The bounds decide whether a window of another process, untitled, with only its role in
    // common, is found at all.
    const WindowRecord w = saved(kEditor, 1, std::nullopt, s);
    EXPECT_EQ(plan({w}, {live(0, kEditor, 2, std::nullopt, CGRect(260, 100, 800, 200))}), std::vector<QString>{"0"});
    EXPECT_EQ(plan({w}, {live(0, kEditor, 2, std::nullopt, CGRect(261, 100, 800, 200))}),
              std::vector<QString>{RestoreSkipReason::windowNotFound});
}

TEST(RestoreWindowMatchPlannerTest, SimilarityFallsWithDistanceRelativeToSavedSize)
{
    const CGRect s(0, 0, 800, 600);
    EXPECT_EQ(restoreSimilarityScore(s, s), 100);
    EXPECT_EQ(restoreSimilarityScore(CGRect(10, 0, 800, 600), s), 99);
    // 99.64...: the fraction is dropped, not rounded up.
    EXPECT_EQ(restoreSimilarityScore(CGRect(5, 0, 800, 600), s), 99);
    EXPECT_EQ(restoreSimilarityScore(CGRect(700, 0, 800, 600), s), 50);
    EXPECT_EQ(restoreSimilarityScore(CGRect(5000, 0, 800, 600), s), 0);
    EXPECT_EQ(restoreFrameDistance(CGRect(10, -20, 805, 590), s), 45);
    // A zero-size saved frame divides by 1, not by 0.
    EXPECT_EQ(restoreSimilarityScore(CGRect(0, 0, 0, 0.5), CGRect(0, 0, 0, 0)), 50);
}

TEST(RestoreWindowMatchPlannerTest, NonFiniteFramesScoreNoFrameBonusAndSortLast)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const WindowRecord s = saved(kEditor, 1, "Doc", kFrame);
    for (const CGRect& broken : {CGRect(nan, 0, 800, 600), CGRect(0, 0, inf, 600), CGRect(-inf, 0, 800, 600)}) {
        EXPECT_FALSE(isPlausibleRoleRestoreMatch(broken, kFrame));
        EXPECT_FALSE(isPlausibleRoleRestoreMatch(kFrame, broken));
        const auto m = RestoreWindowMatchPlanner::scoredMatch(0, s, live(0, kEditor, 1, "Doc", broken));
        ASSERT_TRUE(m);
        EXPECT_EQ(m->score, 1950);
        EXPECT_EQ(m->distance, inf);
        EXPECT_FALSE(scoreOf(s, live(0, kEditor, 2, std::nullopt, broken))) << "role alone needs a plausible frame";
    }
    // A broken frame ties with a far one on score and loses on distance, deterministically.
    const std::vector<RestoreWindowCandidate> candidates{live(0, kEditor, 1, "Doc", CGRect(nan, nan, nan, nan)),
                                                         live(1, kEditor, 1, "Doc", CGRect(9000, 0, 800, 600))};
    EXPECT_EQ(plan({s, s}, candidates), (std::vector<QString>{"1", "0"}));
    WindowRecord brokenSaved = s;
    brokenSaved.frame = CGRectCodable(nan, 0, 800, 600);
    EXPECT_EQ(plan({brokenSaved}, {live(4, kEditor, 1, "Doc", kFrame)}), std::vector<QString>{"4"});
}

TEST(RestoreWindowMatchPlannerTest, ScoredMatchesOrderByScoreDistanceSavedIndexThenCandidate)
{
    const auto m = [](int score, double distance, std::size_t index, std::int64_t id) {
        return RestoreWindowScoredMatch{index, live(id, kEditor, 1, std::nullopt, kFrame), score, distance};
    };
    EXPECT_LT(m(500, 90, 9, 9), m(400, 0, 0, 0));
    EXPECT_LT(m(400, 1, 9, 9), m(400, 2, 0, 0));
    EXPECT_LT(m(400, 1, 0, 9), m(400, 1, 1, 0));
    EXPECT_LT(m(400, 1, 0, 0), m(400, 1, 0, 1));
    EXPECT_GT(m(400, 1, 0, 1), m(400, 1, 0, 0));
    EXPECT_LE(m(400, 1, 0, 1), m(400, 1, 0, 1));
    EXPECT_GE(m(400, 1, 0, 1), m(400, 1, 0, 1));
    EXPECT_FALSE(m(400, 1, 0, 1) < m(400, 1, 0, 1));

    // Equality looks at the candidate's id only.
    RestoreWindowScoredMatch renamed = m(400, 1, 0, 1);
    renamed.candidate.title = "Else";
    EXPECT_EQ(renamed, m(400, 1, 0, 1));
    EXPECT_NE(m(400, 1, 0, 1), m(400, 1, 0, 2));
}

TEST(RestoreWindowMatchPlannerTest, OneCandidateGoesToTheBestSavedWindow)
{
    const RestoreWindowCandidate c = live(7, kEditor, 1, "Doc", kFrame);
    // Higher score wins even when listed second.
    EXPECT_EQ(plan({saved(kEditor, 2, "Doc", kFrame), saved(kEditor, 1, "Doc", kFrame)}, {c}),
              (std::vector<QString>{RestoreSkipReason::windowNotFound, "7"}));
    // Equal scores (similarity truncates to 99 for both): the smaller distance.
    const WindowRecord near = saved(kEditor, 1, "Doc", CGRect(101, 100, 800, 600));
    const WindowRecord nearer = saved(kEditor, 1, "Doc", CGRect(100.5, 100, 800, 600));
    ASSERT_EQ(scoreOf(near, c), scoreOf(nearer, c));
    EXPECT_EQ(plan({near, nearer}, {c}), (std::vector<QString>{RestoreSkipReason::windowNotFound, "7"}));
    // Equal distance: the first listed.
    EXPECT_EQ(plan({nearer, nearer}, {c}), (std::vector<QString>{"7", RestoreSkipReason::windowNotFound}));
    // And one saved window between equal candidates takes the smaller id.
    EXPECT_EQ(plan({nearer}, {live(9, kEditor, 1, "Doc", kFrame), live(8, kEditor, 1, "Doc", kFrame)}),
              std::vector<QString>{"8"});
}

TEST(RestoreWindowMatchPlannerTest, GreedyChoiceCanLeaveAWindowUnmatched)
{
    // A-X is the best pair; B could only have had X, and A's second choice Y is of no use to B.
    const WindowRecord a = saved(kEditor, 1, "A", kFrame);
    const WindowRecord b = saved(kEditor, 1, "B", kFar);
    const RestoreWindowCandidate x = live(0, kEditor, 1, "A", kFrame);
    const RestoreWindowCandidate y = live(1, kEditor, 2, "A", kFrame, "AXDialog");
    ASSERT_FALSE(scoreOf(b, y));
    EXPECT_EQ(plan({a, b}, {x, y}), (std::vector<QString>{"0", RestoreSkipReason::windowNotFound}));
}

TEST(RestoreWindowMatchPlannerTest, SkipsTellAppNotRunningFromWindowNotFound)
{
    const WindowRecord editor = saved(kEditor, 1, std::nullopt, kFrame);
    const WindowRecord viewer = saved(kViewer, 2, "Photo", kFrame);
    const RestoreWindowCandidate editorWindow = live(0, kEditor, 1, "Doc", kFrame);

    EXPECT_TRUE(RestoreWindowMatchPlanner().plans({}, {editorWindow}, std::nullopt).empty());
    // Without a running set, an application without candidates is not running.
    EXPECT_EQ(plan({viewer, editor}, {editorWindow}), (std::vector<QString>{RestoreSkipReason::appNotRunning, "0"}));
    EXPECT_EQ(plan({viewer, editor}, {editorWindow}, QSet<QString>{kViewer, kEditor}),
              (std::vector<QString>{RestoreSkipReason::windowNotFound, "0"}));
    // A given running set is believed even when candidates of other applications exist.
    EXPECT_EQ(plan({viewer, editor}, {editorWindow}, QSet<QString>{kViewer}),
              (std::vector<QString>{RestoreSkipReason::windowNotFound, RestoreSkipReason::appNotRunning}));
    EXPECT_EQ(plan({editor}, {editorWindow}, QSet<QString>{QString::fromUtf16(u"org.example.Editor")}),
              std::vector<QString>{"0"});

    const auto plans = RestoreWindowMatchPlanner().plans({viewer, editor, editor}, {}, QSet<QString>{kEditor});
    ASSERT_EQ(plans.size(), 3u);
    EXPECT_EQ(plans[0].skip->bundleIdentifier, kViewer);
    EXPECT_EQ(plans[0].skip->windowTitle, std::optional<QString>("Photo"));
    EXPECT_EQ(plans[1].skip->windowTitle, std::nullopt) << "the title as saved, absent included";
    EXPECT_EQ(plans[1].skip->reason, RestoreSkipReason::windowNotFound);
    EXPECT_NE(plans[1].skip->id, plans[2].skip->id);
    EXPECT_FALSE(plans[1].skip->id.isNull());
    EXPECT_EQ(plans[2].savedWindow.id, editor.id);
}

TEST(RestoreWindowMatchPlannerTest, SingletonFallbackPairsTheOnlyWindowsOfSameRole)
{
    const QSet<QString> singleton{kViewer};
    const WindowRecord s = saved(kViewer, 1, "Library", kFrame);
    const RestoreWindowCandidate only = live(3, kViewer, 99, "Now Playing", kFar);
    ASSERT_FALSE(scoreOf(s, only));
    EXPECT_EQ(plan({s}, {only}, std::nullopt, singleton), std::vector<QString>{"3"});
    EXPECT_EQ(plan({s}, {only}), std::vector<QString>{RestoreSkipReason::windowNotFound}) << "not in the set";

    const RestoreWindowCandidate second = live(4, kViewer, 99, "Mini Player", kFar);
    EXPECT_EQ(plan({s}, {only, second}, std::nullopt, singleton), std::vector<QString>{RestoreSkipReason::windowNotFound});
    RestoreWindowCandidate otherSubrole = only;
    otherSubrole.subrole = std::nullopt;
    EXPECT_EQ(plan({s}, {otherSubrole}, std::nullopt, singleton), std::vector<QString>{RestoreSkipReason::windowNotFound});
    EXPECT_EQ(plan({s, s}, {only}, std::nullopt, singleton),
              (std::vector<QString>{RestoreSkipReason::windowNotFound, RestoreSkipReason::windowNotFound}));
}

TEST(RestoreWindowMatchPlannerTest, LaunchedApplicationsPairLeftoversByRoleInSavedAndDiscoveryOrder)
{
    const QSet<QString> launched{kViewer};
    const auto planLaunched = [&](const std::vector<WindowRecord>& s, const std::vector<RestoreWindowCandidate>& c) {
        return outcome(RestoreWindowMatchPlanner().plans(s, c, std::nullopt, {}, launched));
    };
    // New windows of a relaunched program: other process, other titles, wherever the window
    // manager put them - nothing scores.
    const WindowRecord first = saved(kViewer, 1, "notes.txt", kFrame);
    const WindowRecord second = saved(kViewer, 1, "todo.txt", CGRect(1400, 100, 500, 400));
    const WindowRecord dialog = saved(kViewer, 1, "Find", kFrame, "AXWindow", QString("AXDialog"));
    const RestoreWindowCandidate a = live(7, kViewer, 50, "Untitled", kFar);
    const RestoreWindowCandidate b = live(8, kViewer, 50, "Untitled 2", kFar);
    ASSERT_FALSE(scoreOf(first, a));

    struct Case {
        const char* what;
        std::vector<WindowRecord> saved;
        std::vector<RestoreWindowCandidate> live;
        std::vector<QString> expected;
    };
    const QString notFound = RestoreSkipReason::windowNotFound;
    const std::vector<Case> cases{
        {"saved order meets discovery order", {first, second}, {a, b}, {"7", "8"}},
        {"discovery order decides, not ids", {first, second}, {b, a}, {"8", "7"}},
        {"a saved window of another role takes no new window", {dialog, first}, {a}, {notFound, "7"}},
        {"more saved windows than new ones: the last stay unfound", {first, second, first}, {a, b}, {"7", "8", notFound}},
        // A window that scores keeps its scored partner; only the leftovers are paired by order.
        {"scored pairs first", {first, second}, {a, live(9, kViewer, 50, "todo.txt", kFar)}, {"7", "9"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(planLaunched(c.saved, c.live), c.expected) << c.what;

    // The same windows of a program that was already running keep the scoring rules.
    EXPECT_EQ(plan({first, second}, {a, b}), (std::vector<QString>{notFound, notFound}));
    EXPECT_EQ(outcome(RestoreWindowMatchPlanner().plans({saved(kEditor, 1, "x", kFrame)}, {live(3, kEditor, 50, "y", kFar)},
                                                        std::nullopt, {}, launched)),
              std::vector<QString>{notFound});
}

// The rules written down as directly as possible, over all pairs at once, to check the
// grouped and precomputed planner against.
namespace {

std::optional<std::pair<int, double>> referenceScore(const WindowRecord& s, const RestoreWindowCandidate& c)
{
    const CGRect sf = s.frame.cgRect().standardized();
    const CGRect cf = c.frame.standardized();
    const bool sameProcess = c.pid == s.pidAtCapture;
    const auto st = nonEmptyValue(s.windowTitle);
    const auto ct = nonEmptyValue(c.title);
    const bool title = st && ct && canonicallyEqual(*st, *ct);
    const bool role = canonicallyEqual(s.role, c.role) && canonicallyEqual(s.subrole, c.subrole);
    const bool plausible = std::abs(cf.minX() - sf.minX()) <= 160 && std::abs(cf.minY() - sf.minY()) <= 160
        && std::abs(cf.width() - sf.width()) <= std::max(80.0, 0.25 * sf.width())
        && std::abs(cf.height() - sf.height()) <= std::max(80.0, 0.25 * sf.height());
    int base;
    if (sameProcess)
        base = title ? (role ? 1950 : 1700) : (role ? 1250 : 1000);
    else if (title)
        base = role ? 950 : 700;
    else if (role && plausible)
        base = 250;
    else
        return std::nullopt;
    const double d = std::abs(cf.minX() - sf.minX()) + std::abs(cf.minY() - sf.minY())
        + std::abs(cf.width() - sf.width()) + std::abs(cf.height() - sf.height());
    const int similarity = int((1 - std::min(1.0, d / std::max(1.0, sf.width() + sf.height()))) * 100);
    return std::pair(base + (plausible ? 150 : 0) + similarity, d);
}

std::vector<QString> referencePlan(const std::vector<WindowRecord>& saved,
                                   const std::vector<RestoreWindowCandidate>& candidates,
                                   const std::optional<QSet<QString>>& running, const QSet<QString>& singleton)
{
    const auto isRunning = [&](const QString& b) {
        if (running)
            return running->contains(b);
        return std::any_of(candidates.begin(), candidates.end(), [&](auto& c) { return c.bundleIdentifier == b; });
    };
    std::vector<QString> result(saved.size(), RestoreSkipReason::windowNotFound);
    std::set<std::size_t> assigned;
    std::set<std::int64_t> taken;
    for (std::size_t i = 0; i < saved.size(); ++i)
        if (!isRunning(saved[i].bundleIdentifier)) {
            result[i] = RestoreSkipReason::appNotRunning;
            assigned.insert(i);
        }
    // The shortcut first: it only involves windows no other pair could use.
    for (const QString& b : singleton) {
        std::vector<std::size_t> mine;
        for (std::size_t i = 0; i < saved.size(); ++i)
            if (!assigned.contains(i) && saved[i].bundleIdentifier == b)
                mine.push_back(i);
        std::vector<const RestoreWindowCandidate*> theirs;
        for (auto& c : candidates)
            if (c.bundleIdentifier == b)
                theirs.push_back(&c);
        if (mine.size() == 1 && theirs.size() == 1 && saved[mine[0]].role == theirs[0]->role
            && saved[mine[0]].subrole == theirs[0]->subrole) {
            result[mine[0]] = QString::number(theirs[0]->id);
            assigned.insert(mine[0]);
            taken.insert(theirs[0]->id);
        }
    }
    std::vector<std::tuple<int, double, std::size_t, std::int64_t>> pairs;
    for (std::size_t i = 0; i < saved.size(); ++i)
        for (auto& c : candidates)
            if (!assigned.contains(i) && c.bundleIdentifier == saved[i].bundleIdentifier)
                if (auto sc = referenceScore(saved[i], c))
                    pairs.emplace_back(-sc->first, sc->second, i, c.id);
    std::sort(pairs.begin(), pairs.end());
    for (auto& [negScore, d, i, id] : pairs)
        if (!assigned.contains(i) && !taken.contains(id)) {
            result[i] = QString::number(id);
            assigned.insert(i);
            taken.insert(id);
        }
    return result;
}

} // namespace

TEST(RestoreWindowMatchPlannerTest, AgreesWithDirectRulesOnRandomInputs)
{
    std::mt19937 rng(20240310);
    const auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const QString bundles[] = {"a.One", "b.Two", "c.Three", "d.Four"};
    const std::optional<QString> titles[] = {std::nullopt, "", "  ", "Doc", " Doc", "doc", "Mail", "Other"};
    const std::optional<QString> subroles[] = {std::nullopt, "AXStandardWindow", "AXDialog"};
    const auto frame = [&]() {
        // A coarse grid so that bounds are hit exactly and distances tie.
        return CGRect(40 * pick(8), 40 * pick(8), 200 + 40 * pick(6), 200 + 40 * pick(6));
    };

    for (int round = 0; round < 400; ++round) {
        std::vector<WindowRecord> savedWindows;
        for (int n = pick(12); n > 0; --n)
            savedWindows.push_back(saved(bundles[pick(4)], 100 + pick(3), titles[pick(8)], frame(),
                                         pick(4) ? "AXWindow" : "AXSheet", subroles[pick(3)]));
        std::vector<RestoreWindowCandidate> candidates;
        for (int n = pick(12); n > 0; --n) {
            candidates.push_back(live(0, bundles[pick(3)], 100 + pick(3), titles[pick(8)], frame(),
                                      pick(4) ? "AXWindow" : "AXSheet", subroles[pick(3)]));
        }
        // Unique ids in a shuffled order, so that the id tie-break is exercised too.
        std::vector<std::int64_t> ids(candidates.size());
        std::iota(ids.begin(), ids.end(), 0);
        std::shuffle(ids.begin(), ids.end(), rng);
        for (std::size_t i = 0; i < candidates.size(); ++i)
            candidates[i].id = ids[i];
        std::optional<QSet<QString>> running;
        if (pick(2))
            running = QSet<QString>{bundles[pick(4)], bundles[pick(4)], bundles[pick(4)]};
        QSet<QString> singleton;
        if (pick(2))
            singleton = {bundles[pick(4)], bundles[pick(4)]};

        const auto plans = RestoreWindowMatchPlanner().plans(savedWindows, candidates, running, singleton);
        ASSERT_EQ(plans.size(), savedWindows.size());
        for (std::size_t i = 0; i < plans.size(); ++i)
            ASSERT_EQ(plans[i].savedWindow.id, savedWindows[i].id) << "each saved window at its own position";
        ASSERT_EQ(outcome(plans), referencePlan(savedWindows, candidates, running, singleton)) << "round " << round;
    }
}
