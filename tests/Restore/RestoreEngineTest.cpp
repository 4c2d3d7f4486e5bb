#include "Restore/RestoreEngine.h"

#include "Restore/AXRestoreWindowApplier.h"
#include "Restore/RestoreSkipReason.h"
#include "Restore/RestoreWindowZOrderRestorer.h"
#include "Support/FakePlatform.h"
#include "Support/Recorders.h"
#include "Support/SnapshotFixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

using namespace zen;
using namespace zen::test;
using zen::testsupport::FakeAccessibility;

namespace {

const QString kEditor = QStringLiteral("org.example.Editor");
const QString kViewer = QStringLiteral("org.example.Viewer");
const QString kMissing = QStringLiteral("org.example.NotInstalled");

struct RecordingApplier final : RestoreWindowApplying {
    mutable std::vector<std::uint32_t> applied, raised, focused;
    mutable std::vector<CGRect> targets;
    std::set<std::uint32_t> failing; // windows that close while being placed
    RestoreWindowApplyResult apply(const WindowRecord& saved, const CGRect& target, const DiscoveredWindow& live) const override
    {
        applied.push_back(live.axElement.window);
        targets.push_back(target);
        if (failing.contains(live.axElement.window))
            return RestoreWindowApplyResult::failed(RestoreSkipReason::restoreFailed);
        if (saved.isFullscreen)
            return RestoreWindowApplyResult::restored(RestoreDowngrade {QUuid::createUuid(), saved.bundleIdentifier, saved.windowTitle,
                                                                        RestoreDowngradeReason::fullscreenRestoredAsStandardWindow});
        return RestoreWindowApplyResult::restored();
    }
    bool raise(const DiscoveredWindow& live) const override { raised.push_back(live.axElement.window); return true; }
    RestoreWindowFocusResult focus(const DiscoveredWindow& live) const override
    {
        focused.push_back(live.axElement.window);
        return {true, true, true};
    }
};

struct RecordingLauncher final : RestoreApplicationLaunching {
    mutable std::vector<QString> requests;
    QSet<QString> installed;
    bool requestLaunch(const QString& id) const override
    {
        requests.push_back(id);
        return installed.contains(id);
    }
};

struct RecordingActivator final : RestoreApplicationActivating {
    mutable std::vector<std::int32_t> activations;
    bool activate(std::int32_t pid) const override { activations.push_back(pid); return true; }
};

DiscoveredWindow liveWindow(std::int32_t pid, std::uint32_t number, const QString& title, CGRect frame)
{
    DiscoveredWindow w;
    w.axElement = AXUIElement {pid, number};
    w.title = title;
    w.role = QStringLiteral("AXWindow");
    w.subrole = QStringLiteral("AXStandardWindow");
    w.frame = frame;
    w.isVisible = true;
    w.cgWindowID = number;
    return w;
}

WindowRecord savedWindow(const QString& bundle, const QString& title, CGRect frame, std::optional<std::int64_t> hint = std::nullopt)
{
    WindowRecord w = makeWindow(bundle, 1, hint);
    w.windowTitle = title;
    w.frame = CGRectCodable(frame);
    w.normalizedFrame = NormalizedRect::fromFrames(frame, CGRect(0, 0, 1440, 900));
    return w;
}

// An engine over recorded data: a store in a temporary folder, discovery answered from a
// script of desktops (one per call; the last repeats) and a clock that only the sleeper moves.
struct Harness {
    QTemporaryDir dir;
    SnapshotStore store {dir.path()};
    std::shared_ptr<RecordingApplier> applier = std::make_shared<RecordingApplier>();
    std::shared_ptr<RecordingLauncher> launcher = std::make_shared<RecordingLauncher>();
    std::shared_ptr<RecordingActivator> activator = std::make_shared<RecordingActivator>();
    std::shared_ptr<RecordingTelemetryLogger> logger = std::make_shared<RecordingTelemetryLogger>();
    std::vector<std::expected<std::vector<DiscoveredApplication>, RestoreEngineFailure>> discoveries;
    int discoveryCalls = 0;
    int clockCalls = 0;
    std::vector<double> sleeps;
    double now = 1000.0;
    bool trusted = true;
    QSet<QString> workspaceBundles;
    std::vector<DisplayResolver::ScreenSnapshot> screens {screenSnapshot(1, CGRect(0, 0, 1440, 900), true, 25)};

    RestoreEngine engine()
    {
        return RestoreEngine {
            store,
            AccessibilityTrustChecker([this] { return trusted; }),
            applier,
            RestoreWindowMatchPlanner {},
            DisplayResolver([this] { return screens; }),
            launcher,
            activator,
            [this]() -> std::expected<std::vector<DiscoveredApplication>, RestoreEngineFailure> {
                const std::size_t i = std::min<std::size_t>(std::size_t(discoveryCalls), discoveries.size() - 1);
                ++discoveryCalls;
                return discoveries[i];
            },
            [this] { return workspaceBundles; },
            5.0,
            0.1,
            [this] { ++clockCalls; return now; },
            [this](double s) { sleeps.push_back(s); now += s; },
            logger,
        };
    }

    QUuid save(const Snapshot& s)
    {
        EXPECT_TRUE(store.save(s).has_value());
        return s.id;
    }
};

DiscoveredApplication app(const QString& bundle, std::int32_t pid, std::vector<DiscoveredWindow> windows)
{
    return DiscoveredApplication {bundle, pid, bundle, std::move(windows)};
}

} // namespace

TEST(RestoreEngineTest, FailuresBeforePlacementLogOneEventAndMoveNothing)
{
    Harness h;
    h.discoveries = {std::vector<DiscoveredApplication> {}};
    const QUuid id = h.save(makeSnapshot("Work", {savedWindow(kEditor, "A", CGRect(0, 30, 400, 300))}));

    h.trusted = false;
    auto denied = h.engine().restoreSnapshot(id);
    ASSERT_FALSE(denied);
    ASSERT_TRUE(denied.error().as<RestoreEngineError>());
    EXPECT_EQ(userFacingDescription(denied.error()), "Window access is required to restore layouts.");
    EXPECT_EQ(h.discoveryCalls, 0);
    ASSERT_EQ(h.logger->events.size(), 1u);
    EXPECT_EQ(h.logger->events[0].name, "restore.failed");
    EXPECT_EQ(h.logger->events[0].snapshotID, id);

    h.trusted = true;
    h.logger->events.clear();
    const QUuid unknown = QUuid::createUuid();
    auto missing = h.engine().restoreSnapshot(unknown);
    ASSERT_FALSE(missing);
    ASSERT_TRUE(missing.error().as<SnapshotStoreError>());
    EXPECT_EQ(missing.error().as<SnapshotStoreError>()->kind(), SnapshotStoreError::notFound(unknown).kind());
    ASSERT_EQ(h.logger->events.size(), 1u);
    EXPECT_EQ(h.logger->events[0].snapshotID, unknown);
    EXPECT_TRUE(h.applier->applied.empty());
}

TEST(RestoreEngineTest, PermissionLostDuringDiscoveryIsReportedInTheRestoreWords)
{
    Harness h;
    h.discoveries = {std::unexpected(RestoreEngineFailure(WindowDiscoveryError::accessibilityPermissionDenied))};
    const QUuid id = h.save(makeSnapshot("Work", {savedWindow(kEditor, "A", CGRect(0, 30, 400, 300))}));

    auto result = h.engine().restoreSnapshot(id);
    ASSERT_FALSE(result);
    EXPECT_TRUE(result.error().as<RestoreEngineError>());
    EXPECT_EQ(userFacingDescription(result.error()), "Window access is required to restore layouts.");
    ASSERT_EQ(h.logger->events.size(), 1u);
    EXPECT_EQ(h.logger->events[0].errorReason, "Window access is required to restore layouts.");
}

TEST(RestoreEngineTest, LaunchWaitPollsOnVirtualTime)
{
    const CGRect frame(10, 40, 500, 400);
    // Everything already running: no launch, no wait, neither clock nor sleeper touched.
    {
        Harness h;
        h.discoveries = {std::vector {app(kEditor, 11, {liveWindow(11, 1, "A", frame)})}};
        const QUuid id = h.save(makeSnapshot("Work", {savedWindow(kEditor, "A", frame)}));
        auto r = h.engine().restoreSnapshot(id);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->restoredWindows, 1);
        EXPECT_TRUE(h.launcher->requests.empty());
        EXPECT_EQ(h.clockCalls, 0);
        EXPECT_TRUE(h.sleeps.empty());
        EXPECT_EQ(h.discoveryCalls, 1);
    }
    // The launched application's window shows up at the third discovery of the wait: three
    // discoveries there, two pauses of 0.1 s, and the window is placed.
    {
        Harness h;
        h.launcher->installed = {kViewer};
        const auto none = std::vector<DiscoveredApplication> {};
        const auto up = std::vector {app(kViewer, 22, {liveWindow(22, 5, "V", CGRect(300, 300, 200, 200))})};
        h.discoveries = {none, none, none, up};
        const QUuid id = h.save(makeSnapshot("Work", {savedWindow(kViewer, "V", frame)}));
        auto r = h.engine().restoreSnapshot(id);
        ASSERT_TRUE(r);
        EXPECT_EQ(h.launcher->requests, std::vector<QString> {kViewer});
        EXPECT_EQ(h.discoveryCalls, 1 + 3);
        EXPECT_EQ(h.sleeps, (std::vector<double> {0.1, 0.1}));
        EXPECT_EQ(r->restoredWindows, 1);
    }
    // A launched application that never shows a window: the wait ends once the clock has
    // reached start + 5 s, having paused 0.1 s at a time, and its window is skipped.
    {
        Harness h;
        h.launcher->installed = {kViewer};
        h.discoveries = {std::vector<DiscoveredApplication> {}};
        const QUuid id = h.save(makeSnapshot("Work", {savedWindow(kViewer, "V", frame)}));
        auto r = h.engine().restoreSnapshot(id);
        ASSERT_TRUE(r);
        EXPECT_GE(h.now, 1005.0);
        EXPECT_LT(h.now, 1005.0 + 0.1 + 1e-9);
        for (double s : h.sleeps)
            EXPECT_EQ(s, 0.1);
        EXPECT_EQ(std::size_t(h.discoveryCalls), 1 + 1 + h.sleeps.size());
        ASSERT_EQ(r->skippedItems.size(), 1u);
        EXPECT_EQ(r->skippedItems[0].reason, RestoreSkipReason::appNotRunning);
    }
    // Not installed: the launcher says no, nothing is waited for.
    {
        Harness h;
        h.discoveries = {std::vector<DiscoveredApplication> {}};
        const QUuid id = h.save(makeSnapshot("Work", {savedWindow(kMissing, "M", frame)}));
        auto r = h.engine().restoreSnapshot(id);
        ASSERT_TRUE(r);
        EXPECT_EQ(h.launcher->requests, std::vector<QString> {kMissing});
        EXPECT_TRUE(h.sleeps.empty());
        ASSERT_EQ(r->skippedItems.size(), 1u);
        EXPECT_EQ(r->skippedItems[0].reason, RestoreSkipReason::appNotRunning);
    }
}

TEST(RestoreEngineTest, LaunchWaitEndsWhenTheClockReachesTheDeadlineExactly)
{
    // Pauses of 1/8 s add up to 5 s with no rounding: the fortieth pause puts the clock on
    // the deadline itself, and the wait ends there rather than pausing once more.
    Harness h;
    h.launcher->installed = {kViewer};
    h.discoveries = {std::vector<DiscoveredApplication> {}};
    const QUuid id = h.save(makeSnapshot("Work", {savedWindow(kViewer, "V", CGRect(10, 40, 500, 400))}));
    RestoreEngine engine = h.engine();
    engine.launchPollInterval = 0.125;
    ASSERT_TRUE(engine.restoreSnapshot(id));
    EXPECT_EQ(h.sleeps.size(), 40u);
    EXPECT_EQ(h.now, 1005.0);
}

TEST(RestoreEngineTest, RelaunchedWindowsArePairedByRoleAndWaitedForUntilAllShow)
{
    // The relaunched program shows new titles at the window manager's places; its windows
    // map one at a time.
    Harness h;
    h.launcher->installed = {kViewer};
    WindowRecord first = savedWindow(kViewer, "notes.txt", CGRect(100, 100, 400, 300), 2);
    WindowRecord second = savedWindow(kViewer, "todo.txt", CGRect(800, 200, 500, 400), 1);
    WindowRecord dialog = savedWindow(kViewer, "Find", CGRect(200, 200, 300, 100));
    dialog.subrole = QStringLiteral("AXDialog");
    const auto one = liveWindow(22, 5, "Untitled", CGRect(0, 0, 640, 480));
    const auto two = liveWindow(22, 6, "Untitled 2", CGRect(30, 30, 640, 480));
    h.discoveries = {std::vector<DiscoveredApplication> {}, std::vector {app(kViewer, 22, {one})},
                     std::vector {app(kViewer, 22, {one, two})}};
    const QUuid id = h.save(makeSnapshot("Work", {first, second, dialog}));
    RestoreEngine engine = h.engine();
    engine.launchTimeout = 1.0;
    auto r = engine.restoreSnapshot(id);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->restoredWindows, 2);
    EXPECT_EQ(h.applier->applied, (std::vector<std::uint32_t> {5, 6}));
    EXPECT_EQ(h.applier->targets, (std::vector<CGRect> {first.frame.cgRect(), second.frame.cgRect()}));
    // The dialog never shows: the wait runs to its deadline, then the dialog is not found.
    EXPECT_GE(h.now, 1001.0);
    ASSERT_EQ(r->skippedItems.size(), 1u);
    EXPECT_EQ(r->skippedItems[0].windowTitle, "Find");
    EXPECT_EQ(r->skippedItems[0].reason, RestoreSkipReason::windowNotFound);
}

TEST(RestoreEngineTest, SingletonShortcutOnlyForApplicationsRunningAtTheStart)
{
    // Editor runs from the start; Viewer is launched, so there is a wait; Player is not
    // installed as far as the launcher knows, but its window turns up during the wait.
    const QString kPlayer = QStringLiteral("org.example.Player");
    Harness h;
    h.launcher->installed = {kViewer};
    const CGRect far(1000, 600, 300, 200);
    const auto editor = app(kEditor, 11, {liveWindow(11, 1, "Other title", far)});
    h.discoveries = {std::vector {editor},
                     std::vector {editor, app(kViewer, 22, {liveWindow(22, 2, "V", far)}),
                                  app(kPlayer, 33, {liveWindow(33, 3, "Other title", far)})}};
    const QUuid id = h.save(makeSnapshot("Work", {savedWindow(kEditor, "E", CGRect(0, 30, 400, 300)),
                                                 savedWindow(kViewer, "V", CGRect(0, 30, 400, 300)),
                                                 savedWindow(kPlayer, "P", CGRect(0, 30, 400, 300))}));
    auto r = h.engine().restoreSnapshot(id);
    ASSERT_TRUE(r);
    EXPECT_EQ(h.applier->applied, (std::vector<std::uint32_t> {1, 2}));
    ASSERT_EQ(r->skippedItems.size(), 1u);
    EXPECT_EQ(r->skippedItems[0].windowTitle, "P");
    EXPECT_EQ(r->skippedItems[0].reason, RestoreSkipReason::windowNotFound);
}

TEST(RestoreEngineTest, DefaultWaitClockIsMonotonic)
{
    // The wait's deadline must not follow the wall clock: set back by an hour, a wall clock
    // would hold a restore for that hour.
    using namespace std::chrono;
    const double steady = duration<double>(steady_clock::now().time_since_epoch()).count();
    EXPECT_NEAR(RestoreEngine::monotonicSeconds(), steady, 1.0);
    const auto engine = RestoreEngine::forPlatform(SnapshotStore(QStringLiteral("/nonexistent")), testsupport::FakeDesktop().services());
    ASSERT_TRUE(engine.launchClock);
    EXPECT_NEAR(engine.launchClock(), RestoreEngine::monotonicSeconds(), 1.0);
    // A sleeper handed nonsense returns at once instead of sleeping for ever.
    RestoreEngine::sleepSeconds(std::numeric_limits<double>::infinity());
    RestoreEngine::sleepSeconds(std::nan(""));
    RestoreEngine::sleepSeconds(-1);
}

TEST(RestoreEngineTest, EverySavedWindowEndsRestoredOrSkippedInOrder)
{
    Harness h;
    const CGRect frame(100, 100, 400, 300);
    WindowRecord a = savedWindow(kEditor, "A", frame, 2);
    WindowRecord closing = savedWindow(kEditor, "Closing", CGRect(600, 100, 400, 300), 3);
    WindowRecord full = savedWindow(kEditor, "Full", CGRect(0, 25, 1440, 875), 1);
    full.isFullscreen = true;
    WindowRecord gone = savedWindow(kEditor, "Gone", CGRect(50, 500, 300, 200));
    WindowRecord notRunning = savedWindow(kMissing, "X", frame);
    // A file can't hold NaN, but a ratio this large overflows to infinity once laid into a display.
    WindowRecord nanFrame = savedWindow(kViewer, "NaN", frame);
    nanFrame.normalizedFrame.xRatio = 1e308;
    WindowRecord huge = savedWindow(kViewer, "Huge", frame);
    huge.normalizedFrame.widthRatio = 1e6;

    h.discoveries = {std::vector {
        app(kEditor, 11,
            {liveWindow(11, 1, "A", frame), liveWindow(11, 2, "Closing", CGRect(600, 100, 400, 300)),
             liveWindow(11, 3, "Full", CGRect(0, 25, 1440, 875))}),
        app(kViewer, 22, {liveWindow(22, 4, "NaN", frame), liveWindow(22, 5, "Huge", frame)}),
    }};
    h.applier->failing = {2};
    const QUuid id = h.save(makeSnapshot("Work", {a, notRunning, closing, full, gone, nanFrame, huge}));

    auto r = h.engine().restoreSnapshot(id);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->restoredWindows, 2);
    EXPECT_EQ(std::size_t(r->restoredWindows) + r->skippedItems.size(), 7u);
    // Planner skips in saved order first, then placement failures in plan order.
    ASSERT_EQ(r->skippedItems.size(), 5u);
    EXPECT_EQ(r->skippedItems[0].reason, RestoreSkipReason::appNotRunning);
    EXPECT_EQ(r->skippedItems[1].windowTitle, "Gone");
    EXPECT_EQ(r->skippedItems[1].reason, RestoreSkipReason::windowNotFound);
    EXPECT_EQ(r->skippedItems[2].windowTitle, "Closing");
    EXPECT_EQ(r->skippedItems[3].windowTitle, "NaN");
    EXPECT_EQ(r->skippedItems[4].windowTitle, "Huge");
    for (std::size_t i = 2; i < 5; ++i)
        EXPECT_EQ(r->skippedItems[i].reason, RestoreSkipReason::restoreFailed);
    ASSERT_EQ(r->downgradedItems.size(), 1u);
    EXPECT_EQ(r->downgradedItems[0].reason, "fullscreen restored as standard window");
    // Only the unplaceable numbers never reached the applier.
    EXPECT_EQ(h.applier->applied, (std::vector<std::uint32_t> {1, 2, 3}));
    // The window that closed takes no part in re-stacking: hints 2 and 1 remain.
    EXPECT_EQ(h.applier->raised, (std::vector<std::uint32_t> {1, 3}));
    EXPECT_EQ(h.applier->focused, (std::vector<std::uint32_t> {3}));
    EXPECT_EQ(h.activator->activations, (std::vector<std::int32_t> {11}));
    ASSERT_EQ(h.logger->events.size(), 1u);
    EXPECT_EQ(h.logger->events[0].name, "restore.completed");
    EXPECT_EQ(h.logger->events[0].restoredWindowCount, 2);
    EXPECT_EQ(h.logger->events[0].skippedWindowCount, 5);
}

TEST(RestoreEngineTest, DisplayPlansAndFallbacks)
{
    Harness h;
    const CGRect frame(100, 125, 400, 300);
    h.discoveries = {std::vector {app(kEditor, 11, {liveWindow(11, 1, "A", CGRect(0, 0, 10, 10))})}};
    const QUuid id = h.save(makeSnapshot("Work", {savedWindow(kEditor, "A", frame)}));

    // The saved display is gone: the primary stands in, the frame keeps its ratios.
    h.screens = {screenSnapshot(9, CGRect(0, 0, 2880, 1800), true, 25)};
    auto r = h.engine().restoreSnapshot(id);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->displayFallbacks.size(), 1u);
    EXPECT_EQ(r->displayFallbacks[0].resolvedDisplayID, 9u);
    EXPECT_EQ(h.applier->targets.back(), CGRect(200, 250, 800, 600));

    // No displays at all: the saved frame as it is, with its fallback.
    h.screens = {};
    r = h.engine().restoreSnapshot(id);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->displayFallbacks.size(), 1u);
    EXPECT_EQ(r->displayFallbacks[0].reason, "no displays available during restore");
    EXPECT_FALSE(r->displayFallbacks[0].resolvedDisplayID);
    EXPECT_EQ(h.applier->targets.back(), frame);
}

TEST(RestoreEngineTest, EmptyLayoutCompletesWithNothingDone)
{
    Harness h;
    h.discoveries = {std::vector<DiscoveredApplication> {}};
    const QUuid id = h.save(makeSnapshot("Empty", {}));
    auto r = h.engine().restoreSnapshot(id);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->restoredWindows, 0);
    EXPECT_TRUE(r->skippedItems.empty());
    EXPECT_TRUE(h.activator->activations.empty());
    ASSERT_EQ(h.logger->events.size(), 1u);
    EXPECT_EQ(h.logger->events[0].name, "restore.completed");
}

namespace {

RestoreWindowZOrderItem item(std::uint32_t number, std::optional<std::int64_t> hint, const QString& idText = {})
{
    WindowRecord w = makeWindow(kEditor, 1, hint);
    if (!idText.isEmpty())
        w.id = QUuid(idText);
    return RestoreWindowZOrderItem {w, std::int32_t(100 + number), liveWindow(std::int32_t(100 + number), number, "W", CGRect(0, 0, 10, 10))};
}

} // namespace

TEST(RestoreWindowZOrderTest, RaisesBackToFrontAndFocusesTheFrontMost)
{
    auto applier = std::make_shared<RecordingApplier>();
    auto activator = std::make_shared<RecordingActivator>();
    RestoreWindowZOrderRestorer restorer {RestoreWindowZOrderPlanner {}, applier, activator};

    auto minimized = item(4, 0);
    minimized.savedWindow.isMinimized = true;
    auto hidden = item(5, 0);
    hidden.savedWindow.isVisible = false;
    restorer.restore({item(1, 3), item(2, 1), item(3, 2), minimized, hidden, item(6, std::nullopt)});
    EXPECT_EQ(applier->raised, (std::vector<std::uint32_t> {1, 3, 2}));
    EXPECT_EQ(activator->activations, std::vector<std::int32_t> {102});
    EXPECT_EQ(applier->focused, std::vector<std::uint32_t> {2});

    // Equal hints: descending id text, so the smaller id text ends in front.
    const auto order = RestoreWindowZOrderPlanner {}.raiseOrder(
        {item(7, 5, "{00000000-0000-0000-0000-00000000000a}"), item(8, 5, "{00000000-0000-0000-0000-00000000000b}")});
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(order[0].liveWindow.axElement.window, 8u);
    EXPECT_EQ(RestoreWindowZOrderPlanner {}.frontmostItem({item(7, 5, "{00000000-0000-0000-0000-00000000000a}"),
                                                           item(8, 5, "{00000000-0000-0000-0000-00000000000b}")})
                  ->liveWindow.axElement.window,
              7u);

    // Nothing qualifies: nothing raised, nobody activated.
    applier->raised.clear();
    activator->activations.clear();
    restorer.restore({minimized, item(9, std::nullopt)});
    EXPECT_TRUE(applier->raised.empty());
    EXPECT_TRUE(activator->activations.empty());
}

TEST(AXRestoreWindowApplierTest, WritesInOrderAndStopsAtTheFirstFailure)
{
    auto ax = std::make_shared<FakeAccessibility>();
    AXRestoreWindowApplier applier(ax);
    WindowRecord saved = makeWindow(kEditor, 1, 1);
    DiscoveredWindow live = liveWindow(7, 70, "W", CGRect(0, 0, 10, 10));
    const CGRect target(10, 20, 300, 200);

    auto r = applier.apply(saved, target, live);
    EXPECT_TRUE(r.didRestore);
    EXPECT_FALSE(r.downgrade);
    ASSERT_EQ(ax->writes.size(), 2u);
    EXPECT_EQ(ax->writes[0].attribute, AXAttribute::position);
    EXPECT_EQ(ax->writes[1].attribute, AXAttribute::size);

    ax->writes.clear();
    live.isMinimized = true;
    saved.isFullscreen = true;
    r = applier.apply(saved, target, live);
    EXPECT_TRUE(r.didRestore);
    ASSERT_TRUE(r.downgrade);
    EXPECT_EQ(r.downgrade->reason, "fullscreen restored as standard window");
    ASSERT_EQ(ax->writes.size(), 3u);
    EXPECT_EQ(ax->writes[0].attribute, AXAttribute::minimized);
    EXPECT_EQ(std::get<bool>(ax->writes[0].value), false);

    // A window that has closed refuses the first write: a failure, no further writes, no downgrade.
    ax->writes.clear();
    ax->writesSucceed = false;
    live.isMinimized = false;
    r = applier.apply(saved, target, live);
    EXPECT_FALSE(r.didRestore);
    EXPECT_FALSE(r.downgrade);
    EXPECT_EQ(r.failureReason, RestoreSkipReason::restoreFailed);
    EXPECT_EQ(ax->writes.size(), 1u);

    // Numbers that are no place are refused before anything is written.
    ax->writes.clear();
    ax->writesSucceed = true;
    r = applier.apply(saved, CGRect(std::numeric_limits<double>::infinity(), 0, 10, 10), live);
    EXPECT_FALSE(r.didRestore);
    EXPECT_TRUE(ax->writes.empty());

    const auto focus = applier.focus(live);
    EXPECT_TRUE(focus.didRaise && focus.didSetMain && focus.didSetFocused);
    ASSERT_EQ(ax->writes.size(), 2u);
    EXPECT_EQ(ax->writes[0].attribute, AXAttribute::main);
    EXPECT_EQ(ax->writes[1].attribute, AXAttribute::focused);
}

namespace {

// Answers a batch of placements from a script, recording what it was sent.
struct BatchAccessibility final : AccessibilityService {
    std::vector<AXFramePlacement> sent;
    std::vector<bool> answers;
    bool isProcessTrusted() override { return true; }
    AXUIElement applicationElement(std::int32_t pid) override { return {pid, 0}; }
    std::optional<AXAttributeValue> copyAttributeValue(const AXUIElement&, const QString&) override { return std::nullopt; }
    bool setAttributeValue(const AXUIElement&, const QString&, const AXAttributeValue&) override { return false; }
    bool performAction(const AXUIElement&, const QString&) override { return false; }
    std::vector<bool> setFrames(const std::vector<AXFramePlacement>& placements) override
    {
        sent = placements;
        return answers;
    }
};

TEST(AXRestoreWindowApplierTest, ABatchAnswersEachWindowInItsPlace)
{
    auto ax = std::make_shared<BatchAccessibility>();
    AXRestoreWindowApplier applier(ax);
    WindowRecord plain = makeWindow(kEditor, 1, 1);
    WindowRecord full = makeWindow(kEditor, 1, 2);
    full.isFullscreen = true;
    WindowRecord gone = makeWindow(kEditor, 1, 3);
    gone.isFullscreen = true;
    const DiscoveredWindow a = liveWindow(7, 70, "A", CGRect(0, 0, 10, 10));
    DiscoveredWindow b = liveWindow(7, 71, "B", CGRect(0, 0, 10, 10));
    b.isMinimized = true;
    const DiscoveredWindow c = liveWindow(7, 72, "C", CGRect(0, 0, 10, 10));
    const DiscoveredWindow d = liveWindow(7, 73, "D", CGRect(0, 0, 10, 10));
    // The third window has closed; the fourth's numbers are no place and are never sent.
    ax->answers = {true, true, false};
    const auto results = applier.applyAll({{&plain, CGRect(1, 2, 30, 40), &a},
                                           {&full, CGRect(5, 6, 70, 80), &b},
                                           {&gone, CGRect(9, 9, 9, 9), &c},
                                           {&plain, CGRect(NAN, 0, 10, 10), &d}});
    ASSERT_EQ(ax->sent.size(), 3u);
    EXPECT_EQ(ax->sent[1].element.window, 71u);
    EXPECT_EQ(ax->sent[1].frame, CGRect(5, 6, 70, 80));
    EXPECT_EQ((std::vector<bool> {ax->sent[0].unminimize, ax->sent[1].unminimize, ax->sent[2].unminimize}),
              (std::vector<bool> {false, true, false}));
    ASSERT_EQ(results.size(), 4u);
    EXPECT_TRUE(results[0].didRestore && !results[0].downgrade);
    EXPECT_TRUE(results[1].didRestore && results[1].downgrade);
    for (std::size_t i : {2u, 3u}) {
        EXPECT_FALSE(results[i].didRestore) << i;
        EXPECT_FALSE(results[i].downgrade) << i;
        EXPECT_EQ(results[i].failureReason, RestoreSkipReason::restoreFailed) << i;
    }
}

TEST(RestoreEngineTest, AnExitedApplicationIsNotInTheRunningSet)
{
    // Its window can outlive the process for a moment; it is launched again, not counted as running.
    testsupport::FakeDesktop desktop;
    desktop.addApplication(11, kEditor);
    desktop.addApplication(22, QStringLiteral("org.example.Exited"), ActivationPolicy::regular, true);
    const auto engine = RestoreEngine::forPlatform(SnapshotStore(QStringLiteral("/nonexistent")), desktop.services());
    ASSERT_TRUE(engine.discoveredApplicationsProvider().has_value());
    EXPECT_EQ(engine.runningApplicationBundleProvider(), QSet<QString> {kEditor});
}

} // namespace
