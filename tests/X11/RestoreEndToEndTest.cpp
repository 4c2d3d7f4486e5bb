#include "Infrastructure/TelemetryLogger.h"
#include "Platform/X11/X11Platform.h"
#include "Restore/RestoreEngine.h"
#include "Snapshots/SnapshotCaptureService.h"
#include "Support/TestClientProcess.h"
#include "WindowDiscovery/AXAttributeReader.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cmath>
#include <functional>
#include <map>

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
