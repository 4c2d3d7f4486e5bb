#include "Dashboard/DashboardSnapshotPresentation.h"
#include "Dashboard/DashboardWindowRemovalConfirmation.h"

#include "Shared/Uuid.h"
#include "Support/SnapshotFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <map>

namespace zen {
namespace {

using test::makeDisplay;
using test::makeSnapshot;
using test::makeWindow;
using P = DashboardSnapshotPresentation;

QUuid idWithText(const char* text)
{
    return *parseUuidStrict(QString::fromLatin1(text));
}

WindowRecord windowAt(double x, double y, double w, double h, std::optional<std::int64_t> hint = std::nullopt,
                      const QString& bundle = QStringLiteral("org.example.App"))
{
    WindowRecord window = makeWindow(bundle, 1, hint);
    window.normalizedFrame = {x, y, w, h};
    return window;
}

std::vector<QUuid> idsOf(const std::vector<WindowRecord>& windows)
{
    std::vector<QUuid> ids;
    for (const WindowRecord& window : windows)
        ids.push_back(window.id);
    return ids;
}

// Names from a table; every identifier not in it is named by itself.
struct TableResolver {
    std::map<QString, QString> names;
    mutable std::vector<QString> asked;
    DashboardAppIdentity operator()(const QString& id) const
    {
        asked.push_back(id);
        const auto found = names.find(id);
        return {id, found == names.end() ? id : found->second, {}, {}};
    }
};

TEST(DashboardRestoreOrderTest, HintsFirstAscendingThenIdText)
{
    const QUuid low = idWithText("0A000000-0000-0000-0000-000000000000");
    const QUuid high = idWithText("b0000000-0000-0000-0000-000000000000");
    struct Case {
        const char* name;
        std::vector<std::pair<std::optional<std::int64_t>, QUuid>> windows; // stored order
        std::vector<int> expected; // indices into windows
    };
    const std::vector<Case> cases {
        {"smaller hint first", {{3, high}, {1, low}}, {1, 0}},
        {"negative hints are signed", {{1, low}, {-5, high}}, {1, 0}},
        {"hint-less after hinted", {{std::nullopt, low}, {7, high}}, {1, 0}},
        {"equal hints by upper-case id text", {{2, high}, {2, low}}, {1, 0}},
        {"no hints by id text", {{std::nullopt, high}, {std::nullopt, low}}, {1, 0}},
        {"lower-case ids compare as upper-case", {{std::nullopt, idWithText("c0000000-0000-0000-0000-000000000000")},
                                                  {std::nullopt, idWithText("1a000000-0000-0000-0000-000000000000")}},
         {1, 0}},
        {"a mixed list", {{3, low}, {std::nullopt, low}, {1, high}}, {2, 0, 1}},
    };
    for (const Case& c : cases) {
        std::vector<WindowRecord> windows;
        for (const auto& [hint, id] : c.windows) {
            WindowRecord w = makeWindow("org.example.App", 1, hint);
            w.id = id;
            windows.push_back(w);
        }
        std::vector<QUuid> expected;
        for (int index : c.expected)
            expected.push_back(windows[index].id);
        EXPECT_EQ(idsOf(P::windowsForDisplayList(windows)), expected) << c.name;
    }
}

TEST(DashboardAppSummariesTest, MostWindowsThenNaturalNameThenIdentifier)
{
    const TableResolver resolver {{{"org.b", "B"}, {"org.app10", "App 10"}, {"org.app2", "App 2"},
                                   {"org.z.same", "same"}, {"org.a.same", "Same"}}, {}};
    Snapshot snapshot = makeSnapshot("L", {
        makeWindow("org.app10", 1), makeWindow("org.b", 1), makeWindow("org.app2", 1),
        makeWindow("org.app10", 1), makeWindow("org.app2", 1), makeWindow("org.app10", 1),
        makeWindow("org.app2", 1), makeWindow("org.z.same", 1), makeWindow("org.a.same", 1),
    });
    const auto summaries = P::appSummaries(snapshot, std::cref(resolver));
    QStringList order;
    for (const auto& s : summaries)
        order << s.bundleIdentifier();
    // "same" and "Same" compare alike, so the identifiers decide between them.
    EXPECT_EQ(order, (QStringList {"org.app2", "org.app10", "org.b", "org.a.same", "org.z.same"}));
    EXPECT_EQ(summaries[0].windowCount(), 3);
    EXPECT_EQ(summaries[0].name(), "App 2");
    // One lookup per application.
    EXPECT_EQ(resolver.asked.size(), 5u);
}

TEST(DashboardAppSummariesTest, NaturalCompare)
{
    struct Case {
        QString a, b;
        int sign;
    };
    const std::vector<Case> cases {
        {"App 2", "App 10", -1}, {"app 10", "App 9", 1}, {"Mail", "mail", 0},
        {"file9", "file10", -1}, {"B", "a", 1}, {"", "A", -1}, {"v007", "v7", 0}, {"v7a", "v7", 1},
        {"Doc 2 b", "doc 2 A", 1}, {"12", "9x", 1},
    };
    for (const Case& c : cases) {
        const int result = P::localizedStandardCompare(c.a, c.b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a.toStdString() << " vs " << c.b.toStdString();
    }
}

TEST(DashboardAppSummariesTest, WindowsInRestoreOrderAndTitlesTrimmed)
{
    WindowRecord back = makeWindow("org.a", 1, 5), front = makeWindow("org.a", 1, 1), blank = makeWindow("org.a", 1, 9),
                 untitled = makeWindow("org.a", 1, 10);
    back.windowTitle = QStringLiteral("  Back \n");
    front.windowTitle = QStringLiteral("Front");
    blank.windowTitle = QStringLiteral(" \t ");
    untitled.windowTitle.reset();
    const auto summaries = P::appSummaries(makeSnapshot("L", {back, blank, front, untitled}), TableResolver {});
    ASSERT_EQ(summaries.size(), 1u);
    EXPECT_EQ(idsOf(summaries[0].windows), (std::vector<QUuid> {front.id, back.id, blank.id, untitled.id}));
    EXPECT_EQ(summaries[0].visibleWindowTitles(), (QStringList {"Front", "Back"}));
}

TEST(DashboardAppSummariesTest, InactiveKeepsOrderOfNotRunning)
{
    const Snapshot snapshot = makeSnapshot("L", {makeWindow("org.a", 1), makeWindow("org.b", 1), makeWindow("org.b", 1),
                                                 makeWindow("org.c", 1)});
    const auto ids = [&](const QSet<QString>& running) {
        QStringList out;
        for (const auto& app : P::inactiveAppSummaries(snapshot, running, TableResolver {}))
            out << app.id();
        return out;
    };
    EXPECT_EQ(ids({}), (QStringList {"org.b", "org.a", "org.c"}));
    EXPECT_EQ(ids({"org.b"}), (QStringList {"org.a", "org.c"}));
    EXPECT_TRUE(ids({"org.a", "org.b", "org.c"}).isEmpty());
}

TEST(DashboardDisplayModelsTest, AssignmentModelsAndEmptyTexts)
{
    const DisplayRecord first = makeDisplay(1, CGRect(0, 0, 1440, 900), true);
    const DisplayRecord second = makeDisplay(2, CGRect(1440, 0, 1920, 1080));
    const DisplayRecord empty = makeDisplay(3, CGRect(0, 900, 800, 600));
    const WindowRecord onSecondA = makeWindow("a", 2, 2), onFirst = makeWindow("a", 1, 1),
                       onSecondB = makeWindow("b", 2, 1), onUnsaved = makeWindow("a", 99), noDisplay = makeWindow("b");

    struct Case {
        const char* name;
        std::vector<DisplayRecord> displays;
        std::vector<WindowRecord> windows;
        std::vector<std::uint32_t> modelIDs;
        std::vector<QUuid> unassigned;
        std::optional<QString> emptyText;
    };
    const std::vector<Case> cases {
        {"no windows, displays", {first}, {}, {}, {}, "No saved windows are assigned to saved displays."},
        {"no windows, no displays", {}, {}, {}, {}, "No displays were saved in this layout."},
        {"no displays: every window unassigned", {}, {onFirst, noDisplay}, {}, {onFirst.id, noDisplay.id},
         "No displays were saved in this layout."},
        {"all windows on unsaved displays", {first}, {onUnsaved, noDisplay}, {}, {onUnsaved.id, noDisplay.id},
         "No saved windows are assigned to saved displays."},
        {"models follow display order, empty display left out", {empty, first, second},
         {onSecondA, onUnsaved, onFirst, onSecondB, noDisplay}, {1, 2}, {onUnsaved.id, noDisplay.id}, std::nullopt},
        {"a display saved twice gets one model", {first, first}, {onFirst}, {1}, {}, std::nullopt},
    };
    for (const Case& c : cases) {
        Snapshot snapshot = makeSnapshot("L", c.windows);
        snapshot.sourceDisplayState = DisplayState::make(c.displays, std::nullopt);
        const auto models = P::displayPreviewModels(snapshot);
        std::vector<std::uint32_t> modelIDs;
        for (const auto& m : models)
            modelIDs.push_back(m.id());
        EXPECT_EQ(modelIDs, c.modelIDs) << c.name;
        EXPECT_EQ(idsOf(P::unassignedWindows(snapshot)), c.unassigned) << c.name;
        EXPECT_EQ(P::displayPreviewEmptyMessage(snapshot), c.emptyText) << c.name;
        if (c.modelIDs == std::vector<std::uint32_t> {1, 2}) {
            // Windows of a model keep the stored order, not the restore order.
            EXPECT_EQ(idsOf(models[1].windows), (std::vector<QUuid> {onSecondA.id, onSecondB.id}));
        }
    }
}

TEST(DashboardPreviewFrameTest, RatiosOfTheDisplayFrame)
{
    struct Case {
        CGRect display;
        NormalizedRect ratios;
        CGRect expected;
    };
    const std::vector<Case> cases {
        {CGRect(0, 0, 1000, 500), {0.1, 0.2, 0.5, 0.5}, CGRect(100, 100, 500, 250)},
        {CGRect(1440, -200, 1920, 1080), {0, 0, 1, 1}, CGRect(1440, -200, 1920, 1080)},
        {CGRect(100, 100, 200, 100), {-0.5, 1.5, 2, 0}, CGRect(0, 250, 400, 0)},
    };
    for (const Case& c : cases) {
        WindowRecord window = makeWindow("a", 1);
        window.normalizedFrame = c.ratios;
        DisplayRecord display = makeDisplay(1, c.display);
        EXPECT_EQ(P::previewFrame(window, display), c.expected);
    }
}

TEST(DashboardOverlapGroupsTest, ThresholdAroundTheSmallerArea)
{
    const CGRect display(0, 0, 100, 100);
    // The second window is a 10x10 square; the first covers `share` of it.
    struct Case {
        const char* name;
        double share;
        std::optional<double> threshold;
        std::size_t groups;
    };
    const std::vector<Case> cases {
        {"40% joins at the default", 0.40, std::nullopt, 1},
        {"30% stays apart", 0.30, std::nullopt, 2},
        {"exactly 35% joins", 0.35, std::nullopt, 1},
        {"just under 35% stays apart", 0.3499, std::nullopt, 2},
        {"custom threshold", 0.30, 0.25, 1},
        {"touching edges do not overlap", 0.0, 0.0, 2},
    };
    for (const Case& c : cases) {
        const WindowRecord big = windowAt(0, 0, 0.5, 0.5, 1);
        // x so that the overlap width within the 10-wide square is share * 10.
        const WindowRecord square = windowAt(0.5 - c.share * 0.1, 0.2, 0.1, 0.1, 2);
        const auto groups = c.threshold ? P::windowPreviewGroups({square, big}, 7, display, *c.threshold)
                                        : P::windowPreviewGroups({square, big}, 7, display);
        EXPECT_EQ(groups.size(), c.groups) << c.name;
        ASSERT_FALSE(groups.empty());
        EXPECT_EQ(groups[0].frontmostWindow().id, big.id) << c.name;
        EXPECT_EQ(groups[0].displayID, 7u);
        EXPECT_EQ(groups[0].displayFrame, display);
        EXPECT_EQ(groups[0].overlapCount(), static_cast<int>(2 - c.groups)) << c.name;
    }
}

TEST(DashboardOverlapGroupsTest, FirstGroupWinsAndGroupsNeverMerge)
{
    const CGRect display(0, 0, 1000, 1000);
    const WindowRecord w1 = windowAt(0, 0, 0.2, 0.2, 1), w2 = windowAt(0.6, 0.6, 0.2, 0.2, 2),
                       w3 = windowAt(0.05, 0.05, 0.2, 0.2, 3);
    auto groups = P::windowPreviewGroups({w3, w2, w1}, 1, display);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(idsOf(groups[0].windows), (std::vector<QUuid> {w1.id, w3.id}));
    EXPECT_EQ(idsOf(groups[1].windows), (std::vector<QUuid> {w2.id}));
    EXPECT_EQ(groups[0].id(), w1.id);

    // A window over both groups' members joins only the first group.
    const WindowRecord bridge = windowAt(0.1, 0.1, 0.65, 0.65, 4);
    groups = P::windowPreviewGroups({w1, w2, w3, bridge}, 1, display);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(idsOf(groups[0].windows), (std::vector<QUuid> {w1.id, w3.id, bridge.id}));
    EXPECT_EQ(idsOf(groups[1].windows), (std::vector<QUuid> {w2.id}));
}

TEST(DashboardOverlapGroupsTest, WindowsWithoutAreaStayAlone)
{
    const CGRect display(0, 0, 1000, 1000);
    const WindowRecord whole = windowAt(0, 0, 1, 1, 1), zeroWidth = windowAt(0.2, 0.2, 0, 0.5, 2),
                       negative = windowAt(0.5, 0.5, -0.2, 0.3, 3), onZero = windowAt(0.2, 0.2, 0.1, 0.5, 4);
    const auto groups = P::windowPreviewGroups({zeroWidth, whole, negative}, 1, display);
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].frontmostWindow().id, whole.id);
    // Nothing joins a zero-width window, even lying exactly where it is.
    EXPECT_EQ(P::windowPreviewGroups({zeroWidth, onZero}, 1, display).size(), 2u);
    // In a display without area nothing overlaps.
    EXPECT_EQ(P::windowPreviewGroups({whole, onZero}, 1, CGRect(0, 0, 0, 100)).size(), 2u);
    EXPECT_TRUE(P::windowPreviewGroups({}, 1, display).empty());
    // Nor does a window whose ratios are not finite.
    WindowRecord endless = windowAt(0, 0, 1, 1, 0);
    endless.normalizedFrame.widthRatio = std::numeric_limits<double>::infinity();
    EXPECT_EQ(P::windowPreviewGroups({endless, whole}, 1, display).size(), 2u);
}

TEST(DashboardOverlapGroupsTest, FrontsAreTheGroupsFrontMostWindows)
{
    // The picture reads only each group's front-most window, by its place in the given list:
    // for crowded, tied and degenerate layouts those are exactly the groups' own fronts.
    const CGRect display(0, 0, 1600, 900);
    std::uint32_t seed = 5;
    const auto unit = [&] {
        seed = seed * 1664525u + 1013904223u;
        return double(seed >> 8) / double(1u << 24);
    };
    for (const int count : {0, 1, 40, 600}) {
        std::vector<WindowRecord> windows;
        for (int i = 0; i < count; ++i) {
            // Every third window shares a stacking hint with another, every fifth has none.
            const std::optional<std::int64_t> hint = i % 5 == 0 ? std::nullopt : std::optional<std::int64_t>(i / 3);
            WindowRecord w = windowAt(unit() * 0.9, unit() * 0.9, unit() * 0.6, unit() * 0.6, hint);
            if (i % 13 == 0)
                w.normalizedFrame.widthRatio = 0;
            windows.push_back(w);
        }
        std::vector<QUuid> expected;
        for (const DashboardWindowPreviewGroup& group : P::windowPreviewGroups(windows, 1, display))
            expected.push_back(group.id());
        std::vector<QUuid> fronts;
        for (const std::size_t i : P::previewGroupFronts(windows, P::restoreOrder(windows), display))
            fronts.push_back(windows[i].id);
        EXPECT_EQ(fronts, expected) << count;
    }
}

// The grouping against its rule written out plainly, on crowded random layouts where a fifth
// of the windows are large: front to back, a window joins the earliest group that has a member
// it overlaps by at least 35 % of the smaller of the two areas, or starts a group of its own.
TEST(DashboardSnapshotPresentationTest, OverlapGroupsFollowTheRuleOnRandomCrowdedLayouts)
{
    const CGRect display(0, 0, 1600, 900);
    const auto share = [&](const NormalizedRect& a, const NormalizedRect& b) {
        const double w = (std::min(a.xRatio + a.widthRatio, b.xRatio + b.widthRatio) - std::max(a.xRatio, b.xRatio))
                         * display.width();
        const double h = (std::min(a.yRatio + a.heightRatio, b.yRatio + b.heightRatio) - std::max(a.yRatio, b.yRatio))
                         * display.height();
        const double smaller = std::min(a.widthRatio * a.heightRatio, b.widthRatio * b.heightRatio) * display.width()
                               * display.height();
        return w > 0 && h > 0 ? w * h / smaller : 0.0;
    };
    std::mt19937 random(33);
    const auto between = [&](double low, double high) { return std::uniform_real_distribution<double>(low, high)(random); };
    for (int round = 0; round < 30; ++round) {
        const int count = std::uniform_int_distribution<int>(5, 400)(random);
        std::vector<WindowRecord> windows;
        for (int i = 0; i < count; ++i) {
            const bool large = i % 5 == 0;
            const double w = large ? between(0.35, 0.9) : between(0.01, 0.2);
            const double h = large ? between(0.35, 0.9) : between(0.01, 0.2);
            windows.push_back(windowAt(between(0, 1 - w), between(0, 1 - h), w, h, i)); // listed front first
        }
        std::vector<std::vector<QUuid>> expected;
        std::vector<std::vector<const WindowRecord*>> members;
        for (const WindowRecord& window : windows) {
            std::size_t group = 0;
            while (group < members.size()
                   && std::none_of(members[group].begin(), members[group].end(), [&](const WindowRecord* member) {
                          return share(window.normalizedFrame, member->normalizedFrame) >= 0.35;
                      }))
                ++group;
            if (group == members.size()) {
                members.emplace_back();
                expected.emplace_back();
            }
            members[group].push_back(&window);
            expected[group].push_back(window.id);
        }
        std::vector<std::vector<QUuid>> grouped;
        for (const DashboardWindowPreviewGroup& group : P::windowPreviewGroups(windows, 1, display))
            grouped.push_back(idsOf(group.windows));
        ASSERT_EQ(grouped, expected) << "round " << round << ", " << count << " windows";
    }
}

TEST(DashboardWindowRemovalConfirmationTest, TitleAndMessage)
{
    struct Case {
        std::optional<QString> title;
        bool last;
        QString displayTitle;
        QString message;
    };
    const QString base = QStringLiteral("Remove this saved window from \"Work & \"Play\"\"? This cannot be undone.");
    const std::vector<Case> cases {
        {QStringLiteral("  Report.txt "), false, "Report.txt", base},
        {QStringLiteral(" \n "), false, "Untitled window", base},
        {std::nullopt, true, "Untitled window",
         base + " This is the last saved window on this display, so the display will no longer appear in the layout preview."},
    };
    for (const Case& c : cases) {
        const DashboardWindowRemovalConfirmation confirmation {QUuid::createUuid(), "Work & \"Play\"",
                                                               {"org.a", "Editor", {}, {}}, QUuid::createUuid(), c.title,
                                                               c.last};
        EXPECT_EQ(confirmation.windowDisplayTitle(), c.displayTitle);
        EXPECT_EQ(confirmation.message(), c.message);
        EXPECT_EQ(confirmation.appName(), "Editor");
    }
}

} // namespace
} // namespace zen
