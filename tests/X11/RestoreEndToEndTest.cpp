#include "Infrastructure/TelemetryLogger.h"
#include "Platform/X11/X11Connection.h"
#include "Platform/X11/X11Platform.h"
#include "Restore/RestoreEngine.h"
#include "Snapshots/SnapshotCaptureService.h"
#include "Support/LiveDesktop.h"
#include "Support/TestClientProcess.h"
#include "WindowDiscovery/AXAttributeReader.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cmath>
#include <functional>
#include <map>
#include <mutex>
#include <set>

namespace zen {
namespace {

using testsupport::TestClientProcess;

const QString kAppA = QStringLiteral("org.zentharion.RestoreA");
const QString kAppB = QStringLiteral("org.zentharion.RestoreB");
const QStringList kArgsA {"--class", "zen-restore-a,ZenRestoreA", "--window", "title=A1,geometry=400x300+100+100",
                          "--window", "title=A2,geometry=450x320+1400+150"};
const QStringList kArgsB {"--class", "zen-restore-b,ZenRestoreB", "--window", "title=B1,geometry=500x350+1500+300"};

// An entry whose id is the bundle identifier the windows are known by, and which starts the
// same client again when the restore launches it.
void writeEntry(const QString& id, const QString& wmClass, const QStringList& args)
{
    const QString dir = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications");
    QDir().mkpath(dir);
    QFile file(dir + QLatin1Char('/') + id + QStringLiteral(".desktop"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Desktop Entry]\nType=Application\nName=" + id.toUtf8() + "\nExec=" + TestClientProcess::clientPath().toUtf8() + " --ignore-stdin "
               + args.join(QLatin1Char(' ')).toUtf8() + "\nStartupWMClass=" + wmClass.toUtf8() + "\n");
}

struct Live {
    std::int32_t pid;
    DiscoveredWindow window;
};

struct RestoreEndToEndTest : ::testing::Test {
    std::shared_ptr<X11Platform> platform;
    QTemporaryDir dir;

    void SetUp() override
    {
        platform = X11Platform::connect();
        if (!platform)
            GTEST_SKIP() << "no X server";
        if (qEnvironmentVariableIsEmpty("XDG_DATA_HOME"))
            GTEST_SKIP() << "needs the live tests' own data dir";
        writeEntry(kAppA, QStringLiteral("ZenRestoreA"), kArgsA);
        writeEntry(kAppB, QStringLiteral("ZenRestoreB"), kArgsB);
    }

    // Our applications' windows by title, discovered until `done` holds or twenty seconds pass (generous for a loaded machine; a poll ends as soon as it holds).
    std::map<QString, Live> windowsUntil(const std::function<bool(const std::map<QString, Live>&)>& done)
    {
        const auto engine = WindowDiscoveryEngine::forPlatform(platform->services());
        QDeadlineTimer deadline(20000);
        std::map<QString, Live> windows;
        do {
            windows.clear();
            if (auto result = engine.discoverRunningWindowsWithDiagnostics()) {
                for (const auto& app : result->applications) {
                    if (app.bundleIdentifier != kAppA && app.bundleIdentifier != kAppB)
                        continue;
                    for (const auto& w : app.windows)
                        windows[w.title.value_or(QString())] = Live {app.pid, w};
                }
            }
            if (done(windows))
                break;
            testsupport::pumpEventsFor(25);
        } while (!deadline.hasExpired());
        return windows;
    }

    // Titles front-most first.
    static QStringList stacking(const std::map<QString, Live>& windows)
    {
        std::vector<std::pair<std::int64_t, QString>> order;
        for (const auto& [title, live] : windows)
            order.emplace_back(live.window.zOrderHint.value_or(1 << 30), title);
        std::sort(order.begin(), order.end());
        QStringList titles;
        for (const auto& [hint, title] : order)
            titles << title;
        return titles;
    }

    static bool near(const CGRect& a, const CGRect& b, double tolerance = 4)
    {
        return std::abs(a.minX() - b.minX()) <= tolerance && std::abs(a.minY() - b.minY()) <= tolerance
            && std::abs(a.width() - b.width()) <= tolerance && std::abs(a.height() - b.height()) <= tolerance;
    }
};

TEST_F(RestoreEndToEndTest, CapturesMovesAndRestoresTwoApplicationsAcrossMonitors)
{
    // The copy of B that the restore launches is not our child process: end it however the test ends.
    struct EndLaunched {
        RestoreEndToEndTest* test;
        ~EndLaunched()
        {
            if (auto result = WindowDiscoveryEngine::forPlatform(test->platform->services()).discoverRunningWindows())
                for (const auto& app : *result)
                    if (app.bundleIdentifier == kAppB && app.pid > 0)
                        ::kill(app.pid, SIGTERM);
        }
    } endLaunched {this};
    TestClientProcess clientA(kArgsA);
    auto clientB = std::make_unique<TestClientProcess>(kArgsB);
    ASSERT_EQ(clientA.waitUntilReady().size(), 2u);
    ASSERT_EQ(clientB->waitUntilReady().size(), 1u);
    const auto has3 = [](const auto& w) { return w.size() == 3; };
    auto windows = windowsUntil(has3);
    ASSERT_EQ(windows.size(), 3u) << "bundle identifiers must be the desktop ids";
    const std::int32_t oldPidB = windows.at("B1").pid;

    // A known stacking: A1 in front, then B1, then A2.
    AXAttributeReader reader {std::shared_ptr<AccessibilityService>(platform)};
    for (const char* title : {"A2", "B1", "A1"})
        ASSERT_TRUE(reader.performAction(AXAction::raise, windows.at(title).window.axElement));
    windows = windowsUntil([&](const auto& w) { return w.size() == 3 && stacking(w) == QStringList {"A1", "B1", "A2"}; });
    ASSERT_EQ(stacking(windows), (QStringList {"A1", "B1", "A2"}));
    std::map<QString, CGRect> savedFrames;
    for (const auto& [title, live] : windows)
        savedFrames[title] = live.window.frame;
    EXPECT_GE(savedFrames["A2"].minX(), 1280) << "A2 starts on the right monitor";
    EXPECT_LT(savedFrames["A1"].minX(), 1280);

    const QString snapshotsDir = dir.filePath(QStringLiteral("Snapshots"));
    const QString eventsLog = dir.filePath(QStringLiteral("events.log"));
    SnapshotStore store(snapshotsDir);
    auto logger = std::make_shared<TelemetryLogger>(eventsLog);
    const auto services = platform->services();
    SnapshotCaptureService capture(store, WindowDiscoveryEngine::forPlatform(services), DisplayResolver(services.screens), logger);
    auto snapshot = capture.captureSnapshot(QStringLiteral("Desk"), QDateTime::currentDateTimeUtc(),
                                            SnapshotCaptureService::CaptureContext::current(services));
    ASSERT_TRUE(snapshot) << userFacingDescription(snapshot.error()).toStdString();
    ASSERT_TRUE(QFile::exists(store.fileURL(snapshot->id)));
    std::map<QString, WindowRecord> saved;
    for (const auto& w : snapshot->windows)
        saved[w.windowTitle.value_or(QString())] = w;
    ASSERT_TRUE(saved.contains("A1") && saved.contains("A2") && saved.contains("B1"));
    EXPECT_NE(saved["A1"].displayID, saved["A2"].displayID);

    // Disarrange: move and resize, move across monitors, minimize, re-stack, close B.
    ASSERT_TRUE(reader.setPoint(CGPoint {600, 400}, windows.at("A1").window.axElement, AXAttribute::position));
    ASSERT_TRUE(reader.setSize(CGSize {300, 200}, windows.at("A1").window.axElement, AXAttribute::size));
    ASSERT_TRUE(reader.setPoint(CGPoint {50, 60}, windows.at("A2").window.axElement, AXAttribute::position));
    ASSERT_TRUE(reader.performAction(AXAction::raise, windows.at("A2").window.axElement));
    ASSERT_TRUE(reader.setBool(true, windows.at("A2").window.axElement, AXAttribute::minimized));
    windows = windowsUntil([](const auto& w) {
        return w.size() == 3 && w.at("A2").window.isMinimized && w.at("A1").window.frame.minX() == 600;
    });
    ASSERT_TRUE(windows.at("A2").window.isMinimized);
    clientB->terminate();
    clientB.reset();
    windows = windowsUntil([](const auto& w) { return w.size() == 2; });
    ASSERT_EQ(windows.size(), 2u);

    // Restore.
    const RestoreEngine engine = RestoreEngine::forPlatform(store, services, logger);
    auto result = engine.restoreSnapshot(snapshot->id);
    ASSERT_TRUE(result) << userFacingDescription(result.error()).toStdString();
    EXPECT_EQ(std::size_t(result->restoredWindows), snapshot->windows.size());
    for (const auto& skip : result->skippedItems)
        ADD_FAILURE() << "skipped " << skip.bundleIdentifier.toStdString() << " " << skip.windowTitle.value_or("").toStdString()
                      << ": " << skip.reason.toStdString();
    EXPECT_TRUE(result->downgradedItems.empty());
    EXPECT_TRUE(result->displayFallbacks.empty());

    windows = windowsUntil([&](const auto& w) {
        if (w.size() != 3 || w.at("A2").window.isMinimized)
            return false;
        for (const auto& [title, frame] : savedFrames)
            if (!near(w.at(title).window.frame, frame))
                return false;
        return stacking(w) == QStringList {"A1", "B1", "A2"};
    });
    ASSERT_EQ(windows.size(), 3u);
    for (const auto& [title, frame] : savedFrames)
        EXPECT_TRUE(near(windows.at(title).window.frame, frame)) << title.toStdString();
    EXPECT_FALSE(windows.at("A2").window.isMinimized);
    EXPECT_NE(windows.at("B1").pid, oldPidB) << "B was launched again from its desktop entry";
    EXPECT_EQ(stacking(windows), (QStringList {"A1", "B1", "A2"}));

    QFile log(eventsLog);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    EXPECT_EQ(text.count("\"restore.completed\""), 1);
    EXPECT_EQ(text.count("\"capture.completed\""), 1);
}

namespace {

// The client geometry wmctrl reports per window id: what a person checking by hand sees.
std::map<std::uint32_t, QString> wmctrlGeometries()
{
    QProcess wmctrl;
    wmctrl.start(QStringLiteral("wmctrl"), {QStringLiteral("-lG")});
    wmctrl.waitForFinished(10000);
    std::map<std::uint32_t, QString> geometries;
    for (const QString& line : QString::fromUtf8(wmctrl.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const QStringList f = line.simplified().split(QLatin1Char(' '));
        if (f.size() >= 6)
            geometries[f[0].toUInt(nullptr, 16)] = f.mid(2, 4).join(QLatin1Char(' '));
    }
    return geometries;
}

// Ends every process of the application however the test ends: a copy the restore launched
// is not our child.
struct EndApplication {
    std::shared_ptr<X11Platform> platform;
    QString bundle;
    ~EndApplication()
    {
        if (auto result = WindowDiscoveryEngine::forPlatform(platform->services()).discoverRunningWindows())
            for (const auto& app : *result)
                if (app.bundleIdentifier == bundle && app.pid > 0)
                    ::kill(app.pid, SIGTERM);
    }
};

} // namespace

TEST_F(RestoreEndToEndTest, FramesFromRatiosInexactInBinaryComeBackToThePixel)
{
    TestClientProcess client({"--class", "zen-exact,ZenExact", "--window", "title=E1", "--window", "title=E2", "--window",
                              "title=E3", "--window", "title=E4"});
    const auto ids = client.waitUntilReady();
    ASSERT_EQ(ids.size(), 4u);
    const qint64 pid = client.processId();
    auto ours = [&](const std::function<bool(const std::map<QString, Live>&)>& done) {
        const auto engine = WindowDiscoveryEngine::forPlatform(platform->services());
        QDeadlineTimer deadline(20000);
        std::map<QString, Live> windows;
        do {
            windows.clear();
            if (auto result = engine.discoverRunningWindowsWithDiagnostics())
                for (const auto& app : result->applications)
                    if (app.pid == pid)
                        for (const auto& w : app.windows)
                            windows[w.title.value_or(QString())] = Live {app.pid, w};
            if (windows.size() == 4 && done(windows))
                break;
            testsupport::pumpEventsFor(25);
        } while (!deadline.hasExpired());
        return windows;
    };
    auto windows = ours([](const auto&) { return true; });
    ASSERT_EQ(windows.size(), 4u);

    // On the 800-point-high left monitor, 57/800 × 800 and 115/800 × 800 are a hair below 57
    // and 115; the right monitor's frames come back exactly either way.
    const std::map<QString, CGRect> frames {{"E1", CGRect(101, 57, 333, 115)},
                                            {"E2", CGRect(520, 109, 250, 230)},
                                            {"E3", CGRect(100, 222, 410, 201)},
                                            {"E4", CGRect(1400, 203, 300, 255)}};
    auto placeAll = [&](const std::function<CGRect(const QString&)>& frameOf) {
        std::vector<AXFramePlacement> batch;
        for (const auto& [title, live] : windows)
            batch.push_back({live.window.axElement, frameOf(title), false});
        return platform->setFrames(batch);
    };
    auto at = [&](const std::function<CGRect(const QString&)>& frameOf) {
        return [frameOf](const std::map<QString, Live>& w) {
            return std::ranges::all_of(w, [&](const auto& entry) { return entry.second.window.frame == frameOf(entry.first); });
        };
    };
    const auto saved = [&](const QString& title) { return frames.at(title); };
    ASSERT_EQ(placeAll(saved), std::vector<bool>(4, true));
    windows = ours(at(saved));
    ASSERT_TRUE(at(saved)(windows));
    const auto before = wmctrlGeometries();

    SnapshotStore store(dir.filePath(QStringLiteral("Snapshots")));
    const auto services = platform->services();
    SnapshotCaptureService capture(store, WindowDiscoveryEngine::forPlatform(services), DisplayResolver(services.screens));
    auto context = SnapshotCaptureService::CaptureContext::current(services);
    std::erase_if(context.runningApplications, [&](const auto& app) { return app.processIdentifier != pid; });
    auto snapshot = capture.captureSnapshot(QStringLiteral("Exact"), QDateTime::currentDateTimeUtc(), context);
    ASSERT_TRUE(snapshot);
    ASSERT_EQ(snapshot->windows.size(), 4u);
    // The test means something only if some frame really comes back off whole pixels.
    bool inexact = false;
    for (const auto& w : snapshot->windows)
        for (const auto& d : snapshot->sourceDisplayState.displays)
            if (d.id == w.displayID) {
                const CGRect r = w.normalizedFrame.denormalized(d.frameRect());
                for (double v : {r.minX(), r.minY(), r.width(), r.height()})
                    inexact = inexact || v != std::round(v);
            }
    ASSERT_TRUE(inexact);

    const auto elsewhere = [](const QString&) { return CGRect(600, 400, 300, 200); };
    ASSERT_EQ(placeAll(elsewhere), std::vector<bool>(4, true));
    windows = ours(at(elsewhere));
    ASSERT_TRUE(at(elsewhere)(windows));

    auto result = RestoreEngine::forPlatform(store, services).restoreSnapshot(snapshot->id);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->restoredWindows, 4);
    windows = ours(at(saved));
    for (const auto& [title, live] : windows)
        EXPECT_EQ(live.window.frame, frames.at(title)) << title.toStdString();
    const auto after = wmctrlGeometries();
    for (std::uint32_t id : ids)
        EXPECT_EQ(after.at(id), before.at(id)) << "wmctrl -lG of window " << id;
}

TEST_F(RestoreEndToEndTest, RelaunchedApplicationsNewWindowsTakeTheSavedFramesByRole)
{
    // Saved: two documents, one on each monitor, and a dialog. Relaunched through its entry,
    // the program opens three untitled documents where the window manager puts them.
    const QString bundle = QStringLiteral("org.zentharion.Relaunch");
    writeEntry(bundle, QStringLiteral("ZenRelaunch"),
               {"--class", "zen-relaunch,ZenRelaunch", "--window", "title=Untitled,geometry=300x200+40+40", "--window",
                "title=Untitled-2,geometry=320x220+60+60", "--window", "title=Untitled-3,geometry=150x300+80+80"});
    EndApplication endLaunched {platform, bundle};
    auto original = std::make_unique<TestClientProcess>(
        QStringList {"--class", "zen-relaunch,ZenRelaunch", "--window", "title=report.txt,geometry=500x400+150+120", "--window",
                     "title=notes.txt,geometry=420x300+1450+200", "--window", "type=dialog,title=Find,geometry=300x120+300+500"});
    const auto originalWindows = original->waitUntilReady();
    ASSERT_EQ(originalWindows.size(), 3u);
    const qint64 oldPid = original->processId();

    SnapshotStore store(dir.filePath(QStringLiteral("Snapshots")));
    const auto services = platform->services();
    SnapshotCaptureService capture(store, WindowDiscoveryEngine::forPlatform(services), DisplayResolver(services.screens));
    auto context = SnapshotCaptureService::CaptureContext::current(services);
    std::erase_if(context.runningApplications, [&](const auto& app) { return app.processIdentifier != oldPid; });
    auto snapshot = capture.captureSnapshot(QStringLiteral("Docs"), QDateTime::currentDateTimeUtc(), context);
    ASSERT_TRUE(snapshot);
    ASSERT_EQ(snapshot->windows.size(), 3u);
    std::map<QString, WindowRecord> saved;
    for (const auto& w : snapshot->windows) {
        ASSERT_EQ(w.bundleIdentifier, bundle);
        saved[w.windowTitle.value_or(QString())] = w;
    }
    ASSERT_NE(saved["report.txt"].displayID, saved["notes.txt"].displayID);
    original->terminate();
    original.reset();
    // Gone as a person sees it: off the server, and off the window manager's list. The
    // relaunched program's windows get the ended one's window ids back; a window manager that
    // has not yet let go of the old dialog gave the new window with its id the dialog's frame.
    testsupport::XSession x;
    const auto listsAnOriginal = [&] {
        const QByteArray list = x.property(x.root(), x.atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
        const auto* ids = reinterpret_cast<const std::uint32_t*>(list.constData());
        return std::ranges::any_of(originalWindows, [&](std::uint32_t id) {
            return std::find(ids, ids + list.size() / 4, id) != ids + list.size() / 4;
        });
    };
    for (const std::uint32_t id : originalWindows)
        ASSERT_TRUE(testsupport::waitUntilWindowGone(*platform, id));
    ASSERT_TRUE(testsupport::waitFor([&] { return !listsAnOriginal(); }));

    auto result = RestoreEngine::forPlatform(store, services).restoreSnapshot(snapshot->id);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->restoredWindows, 2);
    ASSERT_EQ(result->skippedItems.size(), 1u);
    EXPECT_EQ(result->skippedItems[0].windowTitle, "Find");
    EXPECT_EQ(result->skippedItems[0].reason, "window not found");

    // Which documents take which frames follows discovery order: two of them take the two
    // saved documents' frames, and the third is left where it came rather than given the
    // dialog's.
    const std::vector<CGRect> wanted {saved["report.txt"].frame.cgRect(), saved["notes.txt"].frame.cgRect()};
    std::map<QString, DiscoveredWindow> relaunched;
    const auto engine = WindowDiscoveryEngine::forPlatform(services);
    QDeadlineTimer deadline(20000);
    const CGRect dialogFrame = saved["Find"].frame.cgRect();
    auto placed = [&] {
        std::vector<CGRect> frames;
        for (const auto& [title, w] : relaunched)
            if (std::ranges::find(wanted, w.frame) != wanted.end())
                frames.push_back(w.frame);
        return relaunched.size() == 3 && std::ranges::is_permutation(frames, wanted);
    };
    do {
        relaunched.clear();
        if (auto found = engine.discoverRunningWindowsWithDiagnostics())
            for (const auto& app : found->applications)
                if (app.bundleIdentifier == bundle && app.pid != oldPid)
                    for (const auto& w : app.windows)
                        relaunched[w.title.value_or(QString())] = w;
        if (placed())
            break;
        testsupport::pumpEventsFor(25);
    } while (!deadline.hasExpired());
    ASSERT_TRUE(placed()) << "the new documents are on the saved frames";
    for (const auto& [title, w] : relaunched) {
        EXPECT_NE(w.frame, dialogFrame) << title.toStdString();
        EXPECT_NE(w.frame.size, dialogFrame.size) << title.toStdString();
    }
}

TEST_F(RestoreEndToEndTest, WindowClosedBeforeItsPlacementIsARestoreFailedSkip)
{
    TestClientProcess stays({"--class", "zen-restore-stay,ZenRestoreStay", "--window", "title=Stay,geometry=300x200+100+100"});
    auto leaves = std::make_unique<TestClientProcess>(
        QStringList {"--class", "zen-restore-leave,ZenRestoreLeave", "--window", "title=Leave,geometry=300x200+500+100"});
    ASSERT_EQ(stays.waitUntilReady().size(), 1u);
    const auto leavingIDs = leaves->waitUntilReady();
    ASSERT_EQ(leavingIDs.size(), 1u);
    const std::set<qint64> pids {stays.processId(), leaves->processId()};

    SnapshotStore store(dir.filePath(QStringLiteral("Snapshots")));
    const auto services = platform->services();
    SnapshotCaptureService capture(store, WindowDiscoveryEngine::forPlatform(services), DisplayResolver(services.screens));
    auto context = SnapshotCaptureService::CaptureContext::current(services);
    std::erase_if(context.runningApplications, [&](const auto& app) { return !pids.contains(app.processIdentifier); });
    auto snapshot = capture.captureSnapshot(QStringLiteral("Two"), QDateTime::currentDateTimeUtc(), context);
    ASSERT_TRUE(snapshot);
    ASSERT_EQ(snapshot->windows.size(), 2u);

    // The window closes after discovery found it and before any request reaches it.
    RestoreEngine engine = RestoreEngine::forPlatform(store, services);
    auto discover = engine.discoveredApplicationsProvider;
    engine.discoveredApplicationsProvider = [&, discover] {
        auto found = discover();
        if (leaves) {
            leaves->terminate();
            leaves.reset();
            testsupport::waitUntilWindowGone(*platform, leavingIDs[0]);
        }
        return found;
    };
    auto result = engine.restoreSnapshot(snapshot->id);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->restoredWindows, 1);
    ASSERT_EQ(result->skippedItems.size(), 1u);
    EXPECT_EQ(result->skippedItems[0].windowTitle, "Leave");
    EXPECT_EQ(result->skippedItems[0].reason, "restore failed");
}

TEST_F(RestoreEndToEndTest, UnplaceableNumbersAreRefusedByTheWindowServerLayer)
{
    TestClientProcess client({"--class", "zen-restore-range,ZenRestoreRange", "--window", "title=R,geometry=300x200+100+100"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    const auto engine = WindowDiscoveryEngine::forPlatform(platform->services());
    QDeadlineTimer deadline(20000);
    std::optional<AXUIElement> element;
    while (!element && !deadline.hasExpired()) {
        if (auto result = engine.discoverRunningWindowsWithDiagnostics())
            for (const auto& app : result->applications)
                if (app.pid == client.processId() && !app.windows.empty())
                    element = app.windows[0].axElement;
        if (!element)
            testsupport::pumpEventsFor(25);
    }
    ASSERT_TRUE(element);
    EXPECT_FALSE(platform->setAttributeValue(*element, AXAttribute::position, CGPoint {40000, 10}));
    EXPECT_FALSE(platform->setAttributeValue(*element, AXAttribute::position, CGPoint {NAN, 10}));
    EXPECT_FALSE(platform->setAttributeValue(*element, AXAttribute::size, CGSize {100, 1e9}));
    EXPECT_TRUE(platform->setAttributeValue(*element, AXAttribute::position, CGPoint {120, 110}));
}

} // namespace
} // namespace zen
