#include "Snapshots/SnapshotCaptureService.h"

#include "Shared/StringExtensions.h"
#include "Support/FakePlatform.h"
#include "Support/Recorders.h"
#include "Support/SnapshotFixtures.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <atomic>
#include <future>

#include <gtest/gtest.h>

using namespace zen;
using namespace zen::test;

namespace {

DiscoveredWindow window(std::uint32_t number, const QString& title, CGRect frame, std::optional<std::int64_t> hint)
{
    DiscoveredWindow w;
    w.axElement = AXUIElement {11, number};
    w.title = title;
    w.role = QStringLiteral("AXWindow");
    w.subrole = QStringLiteral("AXStandardWindow");
    w.frame = frame;
    w.isVisible = hint.has_value();
    w.isMinimized = !hint.has_value();
    w.cgWindowID = hint ? std::optional<std::uint32_t>(number) : std::nullopt;
    w.zOrderHint = hint;
    return w;
}

struct Harness {
    QTemporaryDir dir;
    SnapshotStore store {dir.path()};
    std::shared_ptr<RecordingTelemetryLogger> logger = std::make_shared<RecordingTelemetryLogger>();
    std::expected<WindowDiscoveryResult, SnapshotCaptureFailure> discovery = WindowDiscoveryResult {};
    std::function<void()> duringDiscovery;
    int discoveries = 0;
    SnapshotCaptureService::CaptureContext context {
        {}, {screenSnapshot(1, CGRect(0, 0, 1280, 800), true), screenSnapshot(2, CGRect(1280, 0, 1024, 768), false)}};

    SnapshotCaptureService service(AtomicFileWriter writer = {})
    {
        return SnapshotCaptureService(SnapshotStore(dir.path(), {}, std::move(writer)), WindowDiscoveryEngine {}, DisplayResolver([] { return std::vector<DisplayResolver::ScreenSnapshot> {}; }),
                                      logger, [this] {
                                          ++discoveries;
                                          if (duringDiscovery)
                                              duringDiscovery();
                                          return discovery;
                                      });
    }

    void twoWindows()
    {
        DiscoveredApplication app {QStringLiteral("org.example.Editor"), 11, QStringLiteral("Editor"),
                                   {window(101, "Left", CGRect(128, 80, 640, 400), 0),
                                    window(102, "Right", CGRect(1280 + 102.4, 76.8, 512, 384), std::nullopt)}};
        discovery = WindowDiscoveryResult {{app}, {WindowDiscoveryDiagnostic {QStringLiteral("org.example.Tool"), 12, "transient role"}}};
    }
};

} // namespace

TEST(SnapshotCaptureServiceTest, DefaultNameIsFixedFormatInLocalTime)
{
    const QDateTime local(QDate(2026, 3, 9), QTime(14, 5, 59), Qt::LocalTime);
    EXPECT_EQ(SnapshotCaptureService::defaultSnapshotName(local), "Layout - 2026-03-09 14:05");
    // A moment given in UTC is named in the local zone.
    EXPECT_EQ(SnapshotCaptureService::defaultSnapshotName(local.toUTC()), "Layout - 2026-03-09 14:05");
}

TEST(SnapshotCaptureServiceTest, CaptureRecordsEveryWindowOnItsDisplayAndLogs)
{
    Harness h;
    h.twoWindows();
    auto s = h.service().captureSnapshot("Desk", fixedDate(), h.context);
    ASSERT_TRUE(s) << userFacingDescription(s.error()).toStdString();
    EXPECT_EQ(s->name, "Desk");
    EXPECT_EQ(s->createdAt, fixedDate());
    EXPECT_EQ(s->updatedAt, fixedDate());
    EXPECT_FALSE(s->hotkey);
    ASSERT_EQ(s->sourceDisplayState.displays.size(), 2u);
    ASSERT_EQ(s->windows.size(), 2u);

    const WindowRecord& left = s->windows[0];
    EXPECT_EQ(left.displayID, 1u);
    EXPECT_EQ(left.normalizedFrame, (NormalizedRect {0.1, 0.1, 0.5, 0.5}));
    EXPECT_EQ(left.zOrderHint, 0);
    EXPECT_EQ(left.pidAtCapture, 11);
    EXPECT_EQ(left.captureSignature.cgWindowID, 101u);
    EXPECT_EQ(left.captureSignature.owningPid, 11);
    EXPECT_EQ(left.captureSignature.capturedFrame, CGRectCodable(128, 80, 640, 400));

    const WindowRecord& right = s->windows[1];
    EXPECT_EQ(right.displayID, 2u);
    EXPECT_NEAR(right.normalizedFrame.xRatio, 0.1, 1e-12);
    EXPECT_NEAR(right.normalizedFrame.yRatio, 0.1, 1e-12);
    EXPECT_NEAR(right.normalizedFrame.widthRatio, 0.5, 1e-12);
    EXPECT_FALSE(right.zOrderHint);
    EXPECT_TRUE(right.isMinimized);
    EXPECT_FALSE(right.captureSignature.cgWindowID);
    EXPECT_NE(left.id, right.id);

    auto loaded = h.store.loadSnapshot(s->id);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->windows.size(), 2u);
    ASSERT_EQ(h.logger->events.size(), 1u);
    EXPECT_EQ(h.logger->events[0].name, "capture.completed");
    EXPECT_EQ(h.logger->events[0].capturedWindowCount, 2);
    ASSERT_EQ(h.logger->events[0].details.size(), 1u);
    EXPECT_EQ(h.logger->events[0].details[0].reason, "transient role");
}

TEST(SnapshotCaptureServiceTest, ARecordKeepsNoMoreOfAHugeTitleThanTheCap)
{
    DiscoveredApplication app {QStringLiteral("org.example.Editor"), 11, QStringLiteral("Editor"), {}};
    const DiscoveredWindow hostile = window(101, QString(64 * 1024, QChar(u'\x01')), CGRect(0, 0, 100, 100), 0);
    DisplayRecord display;
    display.id = 1;
    display.frame = CGRectCodable(0, 0, 1280, 800);
    display.visibleFrame = display.frame;
    const WindowRecord record = makeWindowRecord(app, hostile, display);
    EXPECT_EQ(record.windowTitle->size(), maximumWindowTitleLength);
    EXPECT_EQ(record.captureSignature.windowTitle, record.windowTitle);
}

TEST(SnapshotCaptureServiceTest, FailuresLogCaptureFailedAndSaveNothing)
{
    Harness h;
    h.discovery = std::unexpected(SnapshotCaptureFailure(WindowDiscoveryError::accessibilityPermissionDenied));
    auto denied = h.service().captureSnapshot("Desk", fixedDate(), h.context);
    ASSERT_FALSE(denied);
    EXPECT_TRUE(denied.error().as<WindowDiscoveryError>());
    EXPECT_EQ(userFacingDescription(denied.error()), "Window access is required to capture layouts.");

    h.twoWindows();
    h.context.screens.clear();
    auto noDisplays = h.service().captureSnapshot("Desk", fixedDate(), h.context);
    ASSERT_FALSE(noDisplays);
    EXPECT_EQ(userFacingDescription(noDisplays.error()), "No active displays were available for layout capture.");

    h.context.screens = {screenSnapshot(1, CGRect(0, 0, 1280, 800), true)};
    h.discovery = WindowDiscoveryResult {{DiscoveredApplication {"org.example.Editor", 11, std::nullopt, {}}}, {}};
    auto noWindows = h.service().captureSnapshot("Desk", fixedDate(), h.context);
    ASSERT_FALSE(noWindows);
    EXPECT_EQ(userFacingDescription(noWindows.error()),
              "No windows were available to capture. Unhide or restore a window, then try again.");

    ASSERT_EQ(h.logger->events.size(), 3u);
    for (const auto& e : h.logger->events) {
        EXPECT_EQ(e.name, "capture.failed");
        EXPECT_FALSE(e.snapshotID);
    }
    EXPECT_EQ(h.logger->events[1].errorReason, "No active displays were available for layout capture.");
    EXPECT_TRUE(h.store.listSummaries()->empty());
}

TEST(SnapshotCaptureServiceTest, UpdateKeepsIdentityAndEditsMadeWhileCapturing)
{
    Harness h;
    h.twoWindows();
    Snapshot original = makeSnapshot("Old name");
    original.hotkey = HotkeyBinding {18, 256, QStringLiteral("⌘1")};
    ASSERT_TRUE(h.store.save(original));
    const QUuid oldWindowID = original.windows[0].id;

    auto updated = h.service().updateSnapshot(original.id, fixedDate(1), h.context);
    ASSERT_TRUE(updated);
    EXPECT_EQ(updated->id, original.id);
    EXPECT_EQ(updated->name, "Old name");
    EXPECT_EQ(updated->createdAt, original.createdAt);
    EXPECT_EQ(updated->updatedAt, fixedDate(1));
    EXPECT_EQ(updated->hotkey, original.hotkey);
    ASSERT_EQ(updated->windows.size(), 2u);
    for (const auto& w : updated->windows)
        EXPECT_NE(w.id, oldWindowID);

    // The user renames the layout and changes its hotkey while discovery runs: both survive.
    h.duringDiscovery = [&] {
        ASSERT_TRUE(h.store.renameSnapshot(original.id, "Renamed", fixedDate(2)));
        ASSERT_TRUE(h.store.setHotkey(original.id, HotkeyBinding {19, 256, QStringLiteral("⌘2")}, fixedDate(2)));
    };
    updated = h.service().updateSnapshot(original.id, fixedDate(3), h.context);
    ASSERT_TRUE(updated);
    EXPECT_EQ(updated->name, "Renamed");
    EXPECT_EQ(updated->hotkey->keyCode, 19u);
    EXPECT_EQ(updated->updatedAt, fixedDate(3));
    EXPECT_EQ(h.store.loadSnapshot(original.id)->name, "Renamed");

    // Deleted while discovery runs: the update fails with not-found and does not bring it back.
    h.logger->events.clear();
    h.duringDiscovery = [&] { ASSERT_TRUE(h.store.deleteSnapshot(original.id)); };
    auto gone = h.service().updateSnapshot(original.id, fixedDate(4), h.context);
    ASSERT_FALSE(gone);
    ASSERT_TRUE(gone.error().as<SnapshotStoreError>());
    EXPECT_EQ(*gone.error().as<SnapshotStoreError>(), SnapshotStoreError::notFound(original.id));
    EXPECT_FALSE(QFile::exists(h.store.fileURL(original.id)));
    ASSERT_EQ(h.logger->events.size(), 1u);
    EXPECT_EQ(h.logger->events[0].name, "capture.failed");

    // No layout to begin with: not found, nothing discovered, nothing logged.
    h.logger->events.clear();
    h.duringDiscovery = {};
    const int before = h.discoveries;
    auto missing = h.service().updateSnapshot(QUuid::createUuid(), fixedDate(5), h.context);
    ASSERT_FALSE(missing);
    EXPECT_TRUE(missing.error().as<SnapshotStoreError>());
    EXPECT_EQ(h.discoveries, before);
    EXPECT_TRUE(h.logger->events.empty());
}

// Stops the first write that passes through it until released, so a test can act while an
// update is inside its save.
struct WriteGate {
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> armed {true};

    AtomicFileWriter writer()
    {
        return AtomicFileWriter([this](AtomicFileWriter::Step step) -> std::optional<PlatformError> {
            if (step == AtomicFileWriter::Step::Create && armed.exchange(false)) {
                entered.set_value();
                released.wait();
            }
            return std::nullopt;
        });
    }
};

TEST(SnapshotCaptureServiceTest, AnEditOrDeleteDuringTheUpdatesSaveWaitsAndIsKept)
{
    using namespace std::chrono_literals;
    Harness h;
    h.twoWindows();
    const Snapshot original = makeSnapshot("Old name");
    ASSERT_TRUE(h.store.save(original));

    {
        WriteGate gate;
        const SnapshotCaptureService service = h.service(gate.writer());
        auto update = std::async(std::launch::async, [&] { return service.updateSnapshot(original.id, fixedDate(3), h.context); });
        gate.entered.get_future().wait();
        auto rename = std::async(std::launch::async, [&] { return h.store.renameSnapshot(original.id, "Renamed", fixedDate(4)); });
        EXPECT_EQ(rename.wait_for(50ms), std::future_status::timeout);
        gate.release.set_value();
        ASSERT_TRUE(update.get());
        ASSERT_TRUE(rename.get());
        const auto stored = h.store.loadSnapshot(original.id);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->name, "Renamed");
        EXPECT_EQ(stored->windows.size(), 2u);
    }
    {
        WriteGate gate;
        const SnapshotCaptureService service = h.service(gate.writer());
        auto update = std::async(std::launch::async, [&] { return service.updateSnapshot(original.id, fixedDate(5), h.context); });
        gate.entered.get_future().wait();
        auto removal = std::async(std::launch::async, [&] { return h.store.deleteSnapshot(original.id); });
        EXPECT_EQ(removal.wait_for(50ms), std::future_status::timeout);
        gate.release.set_value();
        ASSERT_TRUE(update.get());
        ASSERT_TRUE(removal.get());
        EXPECT_FALSE(QFile::exists(h.store.fileURL(original.id)));
        EXPECT_TRUE(h.store.listSummaries()->empty());
    }
}

TEST(SnapshotCaptureServiceTest, ContextFromPlatformListsApplicationsAndScreens)
{
    testsupport::FakeDesktop desktop;
    desktop.addApplication(11, QStringLiteral("org.example.Editor"));
    PlatformScreen s;
    s.id = 5;
    s.frame = CGRect(0, 0, 800, 600);
    s.visibleFrame = s.frame;
    desktop.screens->list = {s};
    desktop.screens->mainID = 5;
    const auto context = SnapshotCaptureService::CaptureContext::current(desktop.services());
    ASSERT_EQ(context.runningApplications.size(), 1u);
    EXPECT_EQ(context.runningApplications[0].bundleIdentifier, "org.example.Editor");
    ASSERT_EQ(context.screens.size(), 1u);
    EXPECT_TRUE(context.screens[0].isPrimary);
}
