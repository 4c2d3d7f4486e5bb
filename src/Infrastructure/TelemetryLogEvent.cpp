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

// The writer emits the JSON text directly, with its keys in sorted order: every entry of the
// log is re-encoded at each write, and building QJsonObjects for that took most of the time of
// a write at the size limit.
class LineWriter {
public:
    explicit LineWriter(QByteArray& out) : m_out(out) {}

    void open() { m_out.append('{'); m_first = true; }
    void close() { m_out.append('}'); }

    void text(const char* key, const QString& value)
    {
        this->key(key);
        appendString(value);
    }
    void text(const char* key, const std::optional<QString>& value)
    {
        if (value)
            text(key, *value);
    }
    template <typename Integer>
    void integer(const char* key, const std::optional<Integer>& value)
    {
        if (!value)
            return;
        this->key(key);
        m_out.append(QByteArray::number(static_cast<qint64>(*value)));
    }
    void key(const char* key)
    {
        if (!m_first)
            m_out.append(',');
        m_first = false;
        m_out.append('"').append(key).append("\":");
    }
    void beginArray() { m_out.append('['); }
    void endArray() { m_out.append(']'); m_first = false; }
    void separator() { m_out.append(','); }

private:
    void appendString(const QString& value)
    {
        static constexpr char hex[] = "0123456789abcdef";
        const QByteArray utf8 = value.toUtf8();
        m_out.append('"');
        for (const char c : utf8) {
            const auto byte = static_cast<unsigned char>(c);
            switch (c) {
            case '"': m_out.append("\\\""); break;
            case '\\': m_out.append("\\\\"); break;
            case '\b': m_out.append("\\b"); break;
            case '\f': m_out.append("\\f"); break;
            case '\n': m_out.append("\\n"); break;
            case '\r': m_out.append("\\r"); break;
            case '\t': m_out.append("\\t"); break;
            default:
                if (byte < 0x20) {
                    const char escaped[] = {'\\', 'u', '0', '0', hex[byte >> 4], hex[byte & 0xF]};
                    m_out.append(escaped, sizeof escaped);
                } else {
                    m_out.append(c);
                }
            }
        }
        m_out.append('"');
    }

    QByteArray& m_out;
    bool m_first = true;
};

void encodeDetail(LineWriter& writer, const TelemetryLogDetail& detail)
{
    writer.open();
    writer.text("bundleIdentifier", detail.bundleIdentifier);
    writer.text("kind", detail.kind);
    writer.integer("processIdentifier", detail.processIdentifier);
    writer.text("reason", detail.reason);
    writer.integer("resolvedDisplayID", detail.resolvedDisplayID);
    writer.integer("savedDisplayID", detail.savedDisplayID);
    writer.close();
}

// Decoding of one optional field: absent (or null) is fine, a wrong type refuses the entry.
struct FieldReader {
    const QJsonObject& object;
    bool ok = true;

    // The value of a present key; absent for a missing key or a null.
    std::optional<QJsonValue> present(const char* key) const
    {
        QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        return value;
    }

    std::optional<QString> text(const char* key)
    {
        const auto value = present(key);
        if (!value)
            return std::nullopt;
        if (!value->isString()) {
            ok = false;
            return std::nullopt;
        }
        return value->toString();
    }

    template <typename Integer>
    std::optional<Integer> integer(const char* key)
    {
        const auto value = present(key);
        if (!value)
            return std::nullopt;
        // toInteger answers its default for fractions and out-of-range numbers; two different
        // defaults tell such a value apart from a stored number equal to one of them.
        const qint64 a = value->toInteger(0);
        const qint64 b = value->toInteger(1);
        if (!value->isDouble() || a != b || a < qint64(std::numeric_limits<Integer>::min())
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
    QByteArray out;
    out.reserve(256 + 160 * qsizetype(event.details.size()));
    LineWriter writer(out);
    writer.open();
    writer.integer("capturedWindowCount", event.capturedWindowCount);
    writer.key("details");
    writer.beginArray();
    for (std::size_t i = 0; i < event.details.size(); ++i) {
        if (i > 0)
            writer.separator();
        encodeDetail(writer, event.details[i]);
    }
    writer.endArray();
    writer.integer("displayCount", event.displayCount);
    writer.integer("displayFallbackCount", event.displayFallbackCount);
    writer.integer("downgradedWindowCount", event.downgradedWindowCount);
    writer.text("errorReason", event.errorReason);
    writer.integer("fullscreenWindowCount", event.fullscreenWindowCount);
    writer.text("id", uuidText(event.id));
    writer.integer("minimizedWindowCount", event.minimizedWindowCount);
    writer.text("name", event.name);
    writer.integer("restoredWindowCount", event.restoredWindowCount);
    writer.integer("savedWindowCount", event.savedWindowCount);
    writer.integer("skippedWindowCount", event.skippedWindowCount);
    if (event.snapshotID)
        writer.text("snapshotID", uuidText(*event.snapshotID));
    writer.text("timestamp", formatInternetDateTime(event.timestamp));
    writer.integer("visibleWindowCount", event.visibleWindowCount);
    writer.close();
    return out;
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
