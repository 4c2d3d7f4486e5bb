#pragma once

#include "Restore/RestoreResult.h"
#include "Shared/UserFacingError.h"
#include "Snapshots/Snapshot.h"
#include "WindowDiscovery/WindowDiscoveryDiagnostic.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>
#include <vector>

namespace zen {

// One detail item of a diagnostic log entry: a window that was rejected, skipped, downgraded
// or moved to another display. Window titles are deliberately never carried into the log.
struct TelemetryLogDetail {
    QString kind;
    std::optional<QString> bundleIdentifier = std::nullopt;
    std::optional<std::int32_t> processIdentifier = std::nullopt;
    std::optional<QString> reason = std::nullopt;
    std::optional<std::uint32_t> savedDisplayID = std::nullopt;
    std::optional<std::uint32_t> resolvedDisplayID = std::nullopt;

    friend bool operator==(const TelemetryLogDetail&, const TelemetryLogDetail&) = default;
};

// One entry of the diagnostic log, one line of the file.
struct TelemetryLogEvent {
    QUuid id = QUuid::createUuid();
    QDateTime timestamp = QDateTime::currentDateTimeUtc();
    QString name;
    std::optional<QUuid> snapshotID;
    std::optional<std::int64_t> savedWindowCount;
    std::optional<std::int64_t> capturedWindowCount;
    std::optional<std::int64_t> displayCount;
    std::optional<std::int64_t> restoredWindowCount;
    std::optional<std::int64_t> skippedWindowCount;
    std::optional<std::int64_t> downgradedWindowCount;
    std::optional<std::int64_t> displayFallbackCount;
    std::optional<std::int64_t> minimizedWindowCount;
    std::optional<std::int64_t> fullscreenWindowCount;
    std::optional<std::int64_t> visibleWindowCount;
    std::optional<QString> errorReason;
    std::vector<TelemetryLogDetail> details;

    static TelemetryLogEvent captureCompleted(const Snapshot& snapshot,
                                              const std::vector<WindowDiscoveryDiagnostic>& discoveryDiagnostics);
    static TelemetryLogEvent restoreCompleted(const Snapshot& snapshot, const RestoreResult& result);

    template <DescribedError E>
    static TelemetryLogEvent captureFailed(const E& error)
    {
        return captureFailedWithReason(userFacingDescription(error));
    }
    template <DescribedError E>
    static TelemetryLogEvent restoreFailed(const QUuid& snapshotID, const E& error)
    {
        return restoreFailedWithReason(snapshotID, userFacingDescription(error));
    }

    // The same, for an error already turned into its user-facing text.
    static TelemetryLogEvent captureFailedWithReason(const QString& errorReason);
    static TelemetryLogEvent restoreFailedWithReason(const QUuid& snapshotID, const QString& errorReason);
};

// Skips first, then downgrades, then display fallbacks, each in the result's order.
std::vector<TelemetryLogDetail> telemetryDetails(const RestoreResult& result);

// One entry as a single line of compact JSON with sorted keys (no line feed). Absent optional
// fields are left out, never written as null.
QByteArray encodeTelemetryLogEvent(const TelemetryLogEvent& event);

// Reads one line back. Refused: anything but a JSON object, a missing or mistyped "id",
// "timestamp", "name" or "details", a mistyped optional field (null counts as absent), a detail
// without a text "kind", a count or id that is not a whole number in its range. Unknown keys
// are ignored.
std::optional<TelemetryLogEvent> decodeTelemetryLogEvent(const QByteArray& line);

// When `line` is byte for byte what encodeTelemetryLogEvent writes for the entry it holds (so
// decoding and encoding it again would give the same bytes), that entry's timestamp in whole
// seconds since 1970; otherwise nothing. It reads the line once without building the entry,
// and answers nothing for anything it is not sure of (the caller then decodes), so a log
// written by this program is kept as it stands without being decoded again.
std::optional<qint64> canonicalTelemetryLineTimestamp(QByteArrayView line);

} // namespace zen
