#include "Infrastructure/TelemetryLogEvent.h"

#include "Shared/InternetDateTime.h"
#include "Shared/Uuid.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <limits>

namespace zen {

namespace {

std::int64_t countOf(const auto& items) { return static_cast<std::int64_t>(items.size()); }

template <typename Predicate>
std::int64_t countWindows(const Snapshot& snapshot, Predicate predicate)
{
    return static_cast<std::int64_t>(std::ranges::count_if(snapshot.windows, predicate));
}

void putText(QJsonObject& object, const char* key, const std::optional<QString>& value)
{
    if (value)
        object.insert(QLatin1String(key), *value);
}

template <typename Integer>
void putInteger(QJsonObject& object, const char* key, const std::optional<Integer>& value)
{
    if (value)
        object.insert(QLatin1String(key), static_cast<qint64>(*value));
}

QJsonObject encodeDetail(const TelemetryLogDetail& detail)
{
    QJsonObject object;
    putText(object, "bundleIdentifier", detail.bundleIdentifier);
    object.insert(QStringLiteral("kind"), detail.kind);
    putInteger(object, "processIdentifier", detail.processIdentifier);
    putText(object, "reason", detail.reason);
    putInteger(object, "resolvedDisplayID", detail.resolvedDisplayID);
    putInteger(object, "savedDisplayID", detail.savedDisplayID);
    return object;
}

// Decoding of one optional field: absent (or null) is fine, a wrong type refuses the entry.
struct FieldReader {
    const QJsonObject& object;
    bool ok = true;

    bool present(const char* key) const
    {
        const auto value = object.value(QLatin1String(key));
        return !value.isUndefined() && !value.isNull();
    }

    std::optional<QString> text(const char* key)
    {
        if (!present(key))
            return std::nullopt;
        const auto value = object.value(QLatin1String(key));
        if (!value.isString()) {
            ok = false;
            return std::nullopt;
        }
        return value.toString();
    }

    template <typename Integer>
    std::optional<Integer> integer(const char* key)
    {
        if (!present(key))
            return std::nullopt;
        const auto value = object.value(QLatin1String(key));
        // toInteger answers its default for fractions and out-of-range numbers; two different
        // defaults tell such a value apart from a stored number equal to one of them.
        const qint64 a = value.toInteger(0);
        const qint64 b = value.toInteger(1);
        if (!value.isDouble() || a != b || a < qint64(std::numeric_limits<Integer>::min())
            || (std::numeric_limits<Integer>::max() <= std::numeric_limits<qint64>::max()
                && a > qint64(std::numeric_limits<Integer>::max()))) {
            ok = false;
            return std::nullopt;
        }
        return static_cast<Integer>(a);
    }

    std::optional<QUuid> uuid(const char* key)
    {
        const auto value = text(key);
        if (!value)
            return std::nullopt;
        auto parsed = parseUuidStrict(*value);
        if (!parsed)
            ok = false;
        return parsed;
    }
};

std::optional<TelemetryLogDetail> decodeDetail(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const auto kind = object.value(QStringLiteral("kind"));
    if (!kind.isString())
        return std::nullopt;
    FieldReader read{object};
    TelemetryLogDetail detail{
        .kind = kind.toString(),
        .bundleIdentifier = read.text("bundleIdentifier"),
        .processIdentifier = read.integer<std::int32_t>("processIdentifier"),
        .reason = read.text("reason"),
        .savedDisplayID = read.integer<std::uint32_t>("savedDisplayID"),
        .resolvedDisplayID = read.integer<std::uint32_t>("resolvedDisplayID"),
    };
    if (!read.ok)
        return std::nullopt;
    return detail;
}

} // namespace

TelemetryLogEvent TelemetryLogEvent::captureCompleted(const Snapshot& snapshot,
                                                      const std::vector<WindowDiscoveryDiagnostic>& discoveryDiagnostics)
{
    TelemetryLogEvent event;
    event.name = QStringLiteral("capture.completed");
    event.snapshotID = snapshot.id;
    event.capturedWindowCount = countOf(snapshot.windows);
    event.displayCount = countOf(snapshot.sourceDisplayState.displays);
    event.minimizedWindowCount = countWindows(snapshot, [](const WindowRecord& w) { return w.isMinimized; });
    event.fullscreenWindowCount = countWindows(snapshot, [](const WindowRecord& w) { return w.isFullscreen; });
    event.visibleWindowCount = countWindows(snapshot, [](const WindowRecord& w) { return w.isVisible; });
    event.details.reserve(discoveryDiagnostics.size());
    for (const auto& diagnostic : discoveryDiagnostics)
        event.details.push_back({.kind = QStringLiteral("windowRejected"),
                                 .bundleIdentifier = diagnostic.bundleIdentifier,
                                 .processIdentifier = diagnostic.processIdentifier,
                                 .reason = diagnostic.reason});
    return event;
}

TelemetryLogEvent TelemetryLogEvent::captureFailedWithReason(const QString& errorReason)
{
    TelemetryLogEvent event;
    event.name = QStringLiteral("capture.failed");
    event.errorReason = errorReason;
    return event;
}

TelemetryLogEvent TelemetryLogEvent::restoreCompleted(const Snapshot& snapshot, const RestoreResult& result)
{
    TelemetryLogEvent event;
    event.name = QStringLiteral("restore.completed");
    event.snapshotID = snapshot.id;
    event.savedWindowCount = countOf(snapshot.windows);
    event.restoredWindowCount = result.restoredWindows;
    event.skippedWindowCount = countOf(result.skippedItems);
    event.downgradedWindowCount = countOf(result.downgradedItems);
    event.displayFallbackCount = countOf(result.displayFallbacks);
    event.details = telemetryDetails(result);
    return event;
}

TelemetryLogEvent TelemetryLogEvent::restoreFailedWithReason(const QUuid& snapshotID, const QString& errorReason)
{
    TelemetryLogEvent event;
    event.name = QStringLiteral("restore.failed");
    event.snapshotID = snapshotID;
    event.errorReason = errorReason;
    return event;
}

std::vector<TelemetryLogDetail> telemetryDetails(const RestoreResult& result)
{
    std::vector<TelemetryLogDetail> details;
    details.reserve(result.skippedItems.size() + result.downgradedItems.size() + result.displayFallbacks.size());
    for (const auto& skip : result.skippedItems)
        details.push_back({.kind = QStringLiteral("restoreSkipped"),
                           .bundleIdentifier = skip.bundleIdentifier,
                           .reason = skip.reason});
    for (const auto& downgrade : result.downgradedItems)
        details.push_back({.kind = QStringLiteral("restoreDowngraded"),
                           .bundleIdentifier = downgrade.bundleIdentifier,
                           .reason = downgrade.reason});
    for (const auto& fallback : result.displayFallbacks)
        details.push_back({.kind = QStringLiteral("displayFallback"),
                           .reason = fallback.reason,
                           .savedDisplayID = fallback.savedDisplayID,
                           .resolvedDisplayID = fallback.resolvedDisplayID});
    return details;
}

QByteArray encodeTelemetryLogEvent(const TelemetryLogEvent& event)
{
    // QJsonObject keeps its keys sorted, which is the order the file is specified in.
    QJsonObject object;
    putInteger(object, "capturedWindowCount", event.capturedWindowCount);
    QJsonArray details;
    for (const auto& detail : event.details)
        details.append(encodeDetail(detail));
    object.insert(QStringLiteral("details"), details);
    putInteger(object, "displayCount", event.displayCount);
    putInteger(object, "displayFallbackCount", event.displayFallbackCount);
    putInteger(object, "downgradedWindowCount", event.downgradedWindowCount);
    putText(object, "errorReason", event.errorReason);
    putInteger(object, "fullscreenWindowCount", event.fullscreenWindowCount);
    object.insert(QStringLiteral("id"), uuidText(event.id));
    putInteger(object, "minimizedWindowCount", event.minimizedWindowCount);
    object.insert(QStringLiteral("name"), event.name);
    putInteger(object, "restoredWindowCount", event.restoredWindowCount);
    putInteger(object, "savedWindowCount", event.savedWindowCount);
    putInteger(object, "skippedWindowCount", event.skippedWindowCount);
    if (event.snapshotID)
        object.insert(QStringLiteral("snapshotID"), uuidText(*event.snapshotID));
    object.insert(QStringLiteral("timestamp"), formatInternetDateTime(event.timestamp));
    putInteger(object, "visibleWindowCount", event.visibleWindowCount);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<TelemetryLogEvent> decodeTelemetryLogEvent(const QByteArray& line)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();

    const auto id = object.value(QStringLiteral("id"));
    const auto timestamp = object.value(QStringLiteral("timestamp"));
    const auto name = object.value(QStringLiteral("name"));
    const auto details = object.value(QStringLiteral("details"));
    if (!id.isString() || !timestamp.isString() || !name.isString() || !details.isArray())
        return std::nullopt;

    TelemetryLogEvent event;
    const auto parsedID = parseUuidStrict(id.toString());
    const auto parsedTimestamp = parseInternetDateTime(timestamp.toString());
    if (!parsedID || !parsedTimestamp)
        return std::nullopt;
    event.id = *parsedID;
    event.timestamp = *parsedTimestamp;
    event.name = name.toString();

    FieldReader read{object};
    event.snapshotID = read.uuid("snapshotID");
    event.savedWindowCount = read.integer<std::int64_t>("savedWindowCount");
    event.capturedWindowCount = read.integer<std::int64_t>("capturedWindowCount");
    event.displayCount = read.integer<std::int64_t>("displayCount");
    event.restoredWindowCount = read.integer<std::int64_t>("restoredWindowCount");
    event.skippedWindowCount = read.integer<std::int64_t>("skippedWindowCount");
    event.downgradedWindowCount = read.integer<std::int64_t>("downgradedWindowCount");
    event.displayFallbackCount = read.integer<std::int64_t>("displayFallbackCount");
    event.minimizedWindowCount = read.integer<std::int64_t>("minimizedWindowCount");
    event.fullscreenWindowCount = read.integer<std::int64_t>("fullscreenWindowCount");
    event.visibleWindowCount = read.integer<std::int64_t>("visibleWindowCount");
    event.errorReason = read.text("errorReason");
    if (!read.ok)
        return std::nullopt;

    for (const auto& item : details.toArray()) {
        auto detail = decodeDetail(item);
        if (!detail)
            return std::nullopt;
        event.details.push_back(std::move(*detail));
    }
    return event;
}

} // namespace zen
