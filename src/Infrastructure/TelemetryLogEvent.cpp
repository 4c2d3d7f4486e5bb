#include "Infrastructure/TelemetryLogEvent.h"

#include "Shared/InternetDateTime.h"
#include "Shared/Utf8Sequence.h"
#include "Shared/Uuid.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <tuple>
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

    // A copy of a blank entry: a default-constructed one draws a random id and reads the clock
    // only for both to be overwritten, for every line of the log at every write.
    static const TelemetryLogEvent blank = [] {
        TelemetryLogEvent e;
        e.id = QUuid();
        e.timestamp = QDateTime();
        return e;
    }();
    TelemetryLogEvent event = blank;
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

namespace {

// Reads a line against the one form the encoder writes, field by field in its key order.
// Every rule here mirrors a choice of LineWriter and encodeTelemetryLogEvent; whatever the
// encoder would write differently (other spacing, escapes, number forms, key order, unknown
// keys) fails the match, and so does anything whose round trip through the decoder is not
// certain (very long numbers, Unicode noncharacters).
class CanonicalLineMatcher {
public:
    explicit CanonicalLineMatcher(QByteArrayView line) : m_p(line.data()), m_end(line.data() + line.size()) {}

    std::optional<qint64> match()
    {
        if (!literal("{"))
            return std::nullopt;
        m_first = true;
        bool ok = optionalInteger("capturedWindowCount", min64, max64) && details()
            && optionalInteger("displayCount", min64, max64) && optionalInteger("displayFallbackCount", min64, max64)
            && optionalInteger("downgradedWindowCount", min64, max64) && optionalString("errorReason")
            && optionalInteger("fullscreenWindowCount", min64, max64) && key("id") && uuid()
            && optionalInteger("minimizedWindowCount", min64, max64) && key("name") && string()
            && optionalInteger("restoredWindowCount", min64, max64) && optionalInteger("savedWindowCount", min64, max64)
            && optionalInteger("skippedWindowCount", min64, max64);
        if (ok && nextKeyIs("snapshotID"))
            ok = key("snapshotID") && uuid();
        std::optional<qint64> timestamp;
        if (ok && key("timestamp"))
            timestamp = date();
        if (!timestamp || !optionalInteger("visibleWindowCount", min64, max64) || !literal("}") || m_p != m_end)
            return std::nullopt;
        return timestamp;
    }

private:
    // Longer numbers may not survive the decoder's double unchanged; they take the slow path.
    static constexpr int maximumDigits = 15;
    static constexpr qint64 min64 = -999999999999999, max64 = 999999999999999;

    bool literal(std::string_view text)
    {
        if (m_end - m_p < qsizetype(text.size()) || std::memcmp(m_p, text.data(), text.size()) != 0)
            return false;
        m_p += text.size();
        return true;
    }
    // `"key":`, after a comma unless it is the object's first key.
    bool nextKeyIs(std::string_view name) const
    {
        const char* p = m_p;
        if (!m_first) {
            if (p == m_end || *p != ',')
                return false;
            ++p;
        }
        return m_end - p >= qsizetype(name.size() + 3) && p[0] == '"' && std::memcmp(p + 1, name.data(), name.size()) == 0
            && p[name.size() + 1] == '"' && p[name.size() + 2] == ':';
    }
    bool key(std::string_view name)
    {
        if (!nextKeyIs(name))
            return false;
        m_p += name.size() + 3 + (m_first ? 0 : 1);
        m_first = false;
        return true;
    }
    bool optionalInteger(std::string_view name, qint64 min, qint64 max)
    {
        return !nextKeyIs(name) || (key(name) && integer(min, max));
    }
    bool optionalString(std::string_view name) { return !nextKeyIs(name) || (key(name) && string()); }

    bool integer(qint64 min, qint64 max)
    {
        bool negative = false;
        if (m_p != m_end && *m_p == '-') {
            negative = true;
            ++m_p;
        }
        const char* start = m_p;
        qint64 value = 0;
        while (m_p != m_end && *m_p >= '0' && *m_p <= '9' && m_p - start < maximumDigits) {
            value = value * 10 + (*m_p - '0');
            ++m_p;
        }
        const qsizetype length = m_p - start;
        // The encoder writes no leading zero, no "-0", and nothing after the digits but , or }.
        if (length == 0 || (length > 1 && *start == '0') || (negative && value == 0))
            return false;
        if (m_p != m_end && *m_p != ',' && *m_p != '}')
            return false;
        if (negative)
            value = -value;
        return value >= min && value <= max;
    }

    // A string as LineWriter writes it: UTF-8 as it is, the seven short escapes, \u00xx in
    // lower case for the other control characters, nothing else escaped.
    bool string()
    {
        if (!literal("\""))
            return false;
        while (m_p != m_end) {
            const auto c = static_cast<unsigned char>(*m_p);
            if (c == '"') {
                ++m_p;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c == '\\') {
                if (m_end - m_p < 2)
                    return false;
                const char e = m_p[1];
                if (e == '"' || e == '\\' || e == 'b' || e == 'f' || e == 'n' || e == 'r' || e == 't') {
                    m_p += 2;
                    continue;
                }
                if (e != 'u' || m_end - m_p < 6 || m_p[2] != '0' || m_p[3] != '0')
                    return false;
                const int high = hexLower(m_p[4]), low = hexLower(m_p[5]);
                if (high < 0 || high > 1 || low < 0)
                    return false;
                const int code = high * 16 + low;
                if (code == '\b' || code == '\f' || code == '\n' || code == '\r' || code == '\t')
                    return false; // written in their short form
                m_p += 6;
                continue;
            }
            if (c < 0x80) {
                ++m_p;
                continue;
            }
            if (!utf8Sequence())
                return false;
        }
        return false;
    }
    static int hexLower(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    }
    bool utf8Sequence()
    {
        const auto length = wellFormedUtf8SequenceLength(m_p, m_end);
        m_p += length;
        return length > 0;
    }

    bool uuid()
    {
        if (m_end - m_p < 38 || m_p[0] != '"' || m_p[37] != '"')
            return false;
        for (int i = 0; i < 36; ++i) {
            const char c = m_p[1 + i];
            const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
            if (hyphen ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
                return false;
        }
        m_p += 38;
        return true;
    }

    // "yyyy-MM-ddTHH:mm:ssZ" as formatInternetDateTime writes it (years 1 to 9999, no leap
    // second), as seconds since 1970.
    std::optional<qint64> date()
    {
        constexpr std::string_view shape = "\"0000-00-00T00:00:00Z\"";
        if (m_end - m_p < qsizetype(shape.size()))
            return std::nullopt;
        int value[6] = {};
        int field = 0;
        for (std::size_t i = 0; i < shape.size(); ++i) {
            const char c = m_p[i];
            if (shape[i] == '0') {
                if (c < '0' || c > '9')
                    return std::nullopt;
                value[field] = value[field] * 10 + (c - '0');
            } else {
                if (c != shape[i])
                    return std::nullopt;
                if (i > 1 && shape[i - 1] == '0')
                    ++field;
            }
        }
        const auto [year, month, day, hour, minute, second] = std::tuple(value[0], value[1], value[2], value[3], value[4], value[5]);
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        const int monthDays[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        if (year < 1 || month < 1 || month > 12 || day < 1 || day > monthDays[month - 1] || hour > 23 || minute > 59
            || second > 59)
            return std::nullopt;
        m_p += shape.size();
        // Days from 1970-01-01 in the proleptic Gregorian calendar.
        const int y = month <= 2 ? year - 1 : year;
        const int era = (y >= 0 ? y : y - 399) / 400;
        const int yearOfEra = y - era * 400;
        const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
        const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
        const qint64 days = qint64(era) * 146097 + dayOfEra - 719468;
        return days * 86400 + hour * 3600 + minute * 60 + second;
    }

    bool details()
    {
        if (!key("details") || !literal("["))
            return false;
        if (literal("]"))
            return true;
        do {
            if (!detail())
                return false;
        } while (literal(","));
        return literal("]");
    }
    bool detail()
    {
        if (!literal("{"))
            return false;
        m_first = true;
        const bool ok = optionalString("bundleIdentifier") && key("kind") && string()
            && optionalInteger("processIdentifier", std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max())
            && optionalString("reason") && optionalInteger("resolvedDisplayID", 0, std::numeric_limits<std::uint32_t>::max())
            && optionalInteger("savedDisplayID", 0, std::numeric_limits<std::uint32_t>::max()) && literal("}");
        m_first = false;
        return ok;
    }

    const char* m_p;
    const char* m_end;
    bool m_first = true;
};

} // namespace

std::optional<qint64> canonicalTelemetryLineTimestamp(QByteArrayView line)
{
    return CanonicalLineMatcher(line).match();
}

} // namespace zen
