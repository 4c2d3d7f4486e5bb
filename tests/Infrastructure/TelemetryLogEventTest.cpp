#include "Infrastructure/TelemetryLogEvent.h"

#include "Support/SnapshotFixtures.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace zen;
using namespace zen::test;

namespace {

struct FakeError {
    QString localizedDescription() const { return QStringLiteral("The layout could not be saved."); }
    QString ownDescription() const { return QStringLiteral("FakeError.saveFailed"); }
};

QStringList keysOf(const QByteArray& line)
{
    return QJsonDocument::fromJson(line).object().keys();
}

} // namespace

TEST(TelemetryLogEventFactories, CaptureCompletedCountsTheSavedWindowsAndListsEveryRejection)
{
    auto minimized = makeWindow("org.example.Mail", 1);
    minimized.isMinimized = true;
    minimized.isVisible = false;
    auto fullscreen = makeWindow("org.example.Player", 1);
    fullscreen.isFullscreen = true;
    Snapshot snapshot = makeSnapshot("Work", {makeWindow("org.example.Editor", 1), minimized, fullscreen});

    const std::vector<WindowDiscoveryDiagnostic> diagnostics{
        {QStringLiteral("org.example.Panel"), 41, QStringLiteral("transient role")},
        {std::nullopt, std::nullopt, QStringLiteral("missing or invalid frame")},
    };
    const auto event = TelemetryLogEvent::captureCompleted(snapshot, diagnostics);

    EXPECT_EQ(event.name, "capture.completed");
    EXPECT_EQ(event.snapshotID, snapshot.id);
    EXPECT_EQ(event.capturedWindowCount, 3);
    EXPECT_EQ(event.displayCount, 1);
    EXPECT_EQ(event.minimizedWindowCount, 1);
    EXPECT_EQ(event.fullscreenWindowCount, 1);
    EXPECT_EQ(event.visibleWindowCount, 2);
    EXPECT_FALSE(event.savedWindowCount || event.restoredWindowCount || event.skippedWindowCount
                 || event.downgradedWindowCount || event.displayFallbackCount || event.errorReason);
    ASSERT_EQ(event.details.size(), 2u);
    EXPECT_EQ(event.details[0], (TelemetryLogDetail{.kind = "windowRejected", .bundleIdentifier = "org.example.Panel",
                                                    .processIdentifier = 41, .reason = "transient role"}));
    EXPECT_EQ(event.details[1], (TelemetryLogDetail{.kind = "windowRejected", .reason = "missing or invalid frame"}));

    const auto empty = TelemetryLogEvent::captureCompleted(makeSnapshot("Empty", {}), {});
    EXPECT_TRUE(encodeTelemetryLogEvent(empty).contains("\"details\":[]"));
    EXPECT_EQ(empty.capturedWindowCount, 0);
}

TEST(TelemetryLogEventFactories, FailuresCarryTheUserFacingTextAndOnlyRestoreNamesTheLayout)
{
    const auto capture = TelemetryLogEvent::captureFailed(FakeError{});
    EXPECT_EQ(capture.name, "capture.failed");
    EXPECT_EQ(capture.errorReason, "The layout could not be saved.");
    EXPECT_FALSE(capture.snapshotID.has_value());
    EXPECT_TRUE(capture.details.empty());
    EXPECT_EQ(keysOf(encodeTelemetryLogEvent(capture)),
              (QStringList{"details", "errorReason", "id", "name", "timestamp"}));

    const QUuid layout = QUuid::createUuid();
    const auto restore = TelemetryLogEvent::restoreFailed(layout, PlatformError{QString(), 5});
    EXPECT_EQ(restore.name, "restore.failed");
    EXPECT_EQ(restore.snapshotID, layout);
    // An empty message falls back to the printed form of the error.
    ASSERT_TRUE(restore.errorReason.has_value());
    EXPECT_FALSE(restore.errorReason->isEmpty());
    EXPECT_EQ(keysOf(encodeTelemetryLogEvent(restore)),
              (QStringList{"details", "errorReason", "id", "name", "snapshotID", "timestamp"}));
}

TEST(TelemetryLogEventFactories, RestoreCompletedListsSkipsThenDowngradesThenFallbacksWithoutTitles)
{
    Snapshot snapshot = makeSnapshot("Desk", {makeWindow("a", 1), makeWindow("b", 1), makeWindow("c", 1), makeWindow("d", 1)});
    RestoreResult result;
    result.restoredWindows = 1;
    result.displayFallbacks.push_back({.savedDisplayID = 7, .resolvedDisplayID = 1, .reason = "display missing"});
    result.downgradedItems.push_back({.bundleIdentifier = "b", .windowTitle = "Secret.txt", .reason = "no fullscreen"});
    result.skippedItems.push_back({.bundleIdentifier = "a", .windowTitle = "Bank", .reason = "not running"});

    const auto event = TelemetryLogEvent::restoreCompleted(snapshot, result);
    EXPECT_EQ(event.name, "restore.completed");
    EXPECT_EQ(event.snapshotID, snapshot.id);
    EXPECT_EQ(event.savedWindowCount, 4);
    EXPECT_EQ(event.restoredWindowCount, 1);
    EXPECT_EQ(event.skippedWindowCount, 1);
    EXPECT_EQ(event.downgradedWindowCount, 1);
    EXPECT_EQ(event.displayFallbackCount, 1);
    EXPECT_FALSE(event.capturedWindowCount || event.displayCount || event.minimizedWindowCount);

    const std::vector<TelemetryLogDetail> expected{
        {.kind = "restoreSkipped", .bundleIdentifier = "a", .reason = "not running"},
        {.kind = "restoreDowngraded", .bundleIdentifier = "b", .reason = "no fullscreen"},
        {.kind = "displayFallback", .reason = "display missing", .savedDisplayID = 7u, .resolvedDisplayID = 1u},
    };
    EXPECT_EQ(event.details, expected);
    const QByteArray line = encodeTelemetryLogEvent(event);
    EXPECT_FALSE(line.contains("Secret")) << line.constData();
    EXPECT_FALSE(line.contains("Bank"));
}

TEST(TelemetryLogEventCoding, WritesOneCompactLineWithSortedKeysAndReadsItBack)
{
    TelemetryLogEvent event;
    event.id = QUuid("{0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d}");
    event.timestamp = QDateTime(QDate(2024, 3, 10), QTime(9, 30, 15, 900), Qt::UTC);
    event.name = "restore.completed";
    event.snapshotID = QUuid::createUuid();
    event.restoredWindowCount = 3;
    event.errorReason = QString::fromUtf8("line\nbreak \"quoted\" back\\slash \x01\x1f\t caf\u00e9 \U0001F600 </tag>");
    event.details.push_back({.kind = "displayFallback", .savedDisplayID = 4294967295u, .resolvedDisplayID = 0u});
    event.details.push_back({.kind = "windowRejected", .processIdentifier = -2147483647 - 1});

    const QByteArray line = encodeTelemetryLogEvent(event);
    EXPECT_FALSE(line.contains('\n'));
    EXPECT_FALSE(line.contains('\x01'));
    EXPECT_TRUE(QJsonDocument::fromJson(line).isObject());
    EXPECT_TRUE(line.startsWith("{\"details\":[{\"kind\":\"displayFallback\",\"resolvedDisplayID\":0,\"savedDisplayID\":4294967295}"))
        << line.constData();
    EXPECT_TRUE(line.contains("\"id\":\"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D\""));
    EXPECT_TRUE(line.contains("\"timestamp\":\"2024-03-10T09:30:15Z\""));
    EXPECT_FALSE(line.contains("null"));

    const auto decoded = decodeTelemetryLogEvent(line);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->id, event.id);
    EXPECT_EQ(decoded->timestamp, QDateTime(QDate(2024, 3, 10), QTime(9, 30, 15), Qt::UTC));
    EXPECT_EQ(decoded->snapshotID, event.snapshotID);
    EXPECT_EQ(decoded->restoredWindowCount, 3);
    EXPECT_EQ(decoded->errorReason, event.errorReason);
    EXPECT_EQ(decoded->details, event.details);
    EXPECT_EQ(encodeTelemetryLogEvent(*decoded), line);
}

TEST(TelemetryLogEventCoding, RefusesMistypedFieldsButTakesNullAsAbsentAndIgnoresUnknownKeys)
{
    const QByteArray base = R"("id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","timestamp":"2024-03-10T09:30:15Z","name":"x")";
    auto line = [&](const QByteArray& extra) { return "{" + base + "," + extra + "}"; };

    ASSERT_TRUE(decodeTelemetryLogEvent(line(R"("details":[])")).has_value());
    const auto lenient = decodeTelemetryLogEvent(line(R"("details":[],"snapshotID":null,"skippedWindowCount":null,"future":1)"));
    ASSERT_TRUE(lenient.has_value());
    EXPECT_FALSE(lenient->snapshotID || lenient->skippedWindowCount);
    EXPECT_FALSE(encodeTelemetryLogEvent(*lenient).contains("future"));
    const auto offset = decodeTelemetryLogEvent(
        R"({"id":"0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d","timestamp":"2024-03-10T10:30:15+01:00","name":"x","details":[]})");
    ASSERT_TRUE(offset.has_value());
    EXPECT_EQ(offset->timestamp, QDateTime(QDate(2024, 3, 10), QTime(9, 30, 15), Qt::UTC));

    for (const QByteArray& bad : {
             QByteArray("{" + base + "}"),                                         // no details
             line(R"("details":{})"),
             line(R"("details":[{"reason":"r"}])"),                               // detail without kind
             line(R"("details":[{"kind":3}])"),
             line(R"("details":[{"kind":"k","processIdentifier":2147483648}])"),  // beyond Int32
             line(R"("details":[{"kind":"k","savedDisplayID":-1}])"),
             line(R"("details":[],"restoredWindowCount":1.5)"),
             line(R"("details":[],"restoredWindowCount":"3")"),
             line(R"("details":[],"errorReason":7)"),
             line(R"("details":[],"snapshotID":"{0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}")"),
             QByteArray(R"({"id":"nope","timestamp":"2024-03-10T09:30:15Z","name":"x","details":[]})"),
             QByteArray(R"({"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","timestamp":"2024-03-10 09:30","name":"x","details":[]})"),
             QByteArray(R"({"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","timestamp":"2024-03-10T09:30:15Z","details":[]})"),
             QByteArray("[]"),
             QByteArray("{\"id\":"),
         })
        EXPECT_FALSE(decodeTelemetryLogEvent(bad).has_value()) << bad.constData();
}
