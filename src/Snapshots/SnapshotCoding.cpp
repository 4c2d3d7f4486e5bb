#include "Snapshots/SnapshotCoding.h"

#include "Shared/InternetDateTime.h"
#include "Shared/Uuid.h"
#include "Snapshots/SnapshotLayoutJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>
#include <type_traits>
#include <limits>

namespace zen {

namespace {

using Failure = std::unexpected<SnapshotCodingError>;

// ---------------------------------------------------------------- writing

// Collects the first failure while a record is written; QJsonDocument would turn a NaN or
// an infinity into null silently, leaving a file that no reader accepts.
class Writer {
public:
    explicit Writer(QString path) : m_path(std::move(path)) {}

    void number(QJsonObject& object, const QString& key, double value)
    {
        if (!std::isfinite(value) && !m_error)
            m_error = SnapshotCodingError{join(key), QStringLiteral("a number that is not finite cannot be written")};
        object.insert(key, value);
    }
    template <typename Int>
    static void integer(QJsonObject& object, const QString& key, Int value)
    {
        object.insert(key, qint64(value));
    }
    template <typename Int>
    static void integer(QJsonObject& object, const QString& key, const std::optional<Int>& value)
    {
        if (value)
            object.insert(key, qint64(*value));
    }
    static void text(QJsonObject& object, const QString& key, const std::optional<QString>& value)
    {
        if (value)
            object.insert(key, *value);
    }
    void nested(QJsonObject& object, const QString& key,
                const std::expected<QJsonObject, SnapshotCodingError>& value)
    {
        if (!value) {
            if (!m_error)
                m_error = SnapshotCodingError{join(key, value.error().path), value.error().reason};
            return;
        }
        object.insert(key, *value);
    }
    void nestedInArray(QJsonArray& array, const QString& key, qsizetype index,
                       const std::expected<QJsonObject, SnapshotCodingError>& value)
    {
        if (!value) {
            if (!m_error)
                m_error = SnapshotCodingError{
                    join(QStringLiteral("%1[%2]").arg(key).arg(index), value.error().path), value.error().reason};
            return;
        }
        array.append(*value);
    }

    std::expected<QJsonObject, SnapshotCodingError> finish(QJsonObject object)
    {
        if (m_error)
            return Failure(*m_error);
        return object;
    }

private:
    QString join(const QString& key, const QString& rest = {}) const
    {
        QString path = m_path.isEmpty() ? key : m_path + u'.' + key;
        if (!rest.isEmpty())
            path += (rest.startsWith(u'[') ? QString() : QStringLiteral(".")) + rest;
        return path;
    }

    QString m_path;
    std::optional<SnapshotCodingError> m_error;
};

// ---------------------------------------------------------------- reading

// Where a value lies in the document: a chain of the keys the readers went down, turned into
// text ("windows[2].frame.x") only when a failure names it. Building that text for every
// record read cost more than reading the record.
struct DecodePath {
    const DecodePath* parent = nullptr;
    const QString* key = nullptr; // none at the document's root
    qsizetype index = -1;         // an element of the array under `key`

    QString render() const
    {
        const QString head = parent ? parent->render() : QString();
        if (!key)
            return head;
        const QString part = index >= 0 ? QStringLiteral("%1[%2]").arg(*key).arg(index) : *key;
        return head.isEmpty() ? part : head + u'.' + part;
    }
};

template <typename T>
std::expected<T, SnapshotCodingError> decodeAt(const QJsonObject& object, const DecodePath& path);

class Reader {
public:
    Reader(const QJsonObject& object, const DecodePath& path) : m_object(object), m_path(path) {}

    bool failed() const { return m_error.has_value(); }
    const SnapshotCodingError& error() const { return *m_error; }

    // The value of a required key; null counts as missing.
    std::optional<QJsonValue> required(const QString& key)
    {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined() || value.isNull()) {
            fail(key, QStringLiteral("required value is missing"));
            return std::nullopt;
        }
        return value;
    }
    // The value of an optional key; missing and null both mean absent.
    std::optional<QJsonValue> optional(const QString& key) const
    {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        return value;
    }

    QString text(const QString& key)
    {
        const auto value = required(key);
        return value ? asText(key, *value) : QString();
    }
    std::optional<QString> optionalText(const QString& key)
    {
        const auto value = optional(key);
        if (!value)
            return std::nullopt;
        return asText(key, *value);
    }
    bool boolean(const QString& key)
    {
        const auto value = required(key);
        if (!value)
            return false;
        if (!value->isBool()) {
            fail(key, QStringLiteral("expected a Boolean"));
            return false;
        }
        return value->toBool();
    }
    double number(const QString& key)
    {
        const auto value = required(key);
        if (!value)
            return 0;
        if (!value->isDouble()) {
            fail(key, QStringLiteral("expected a number"));
            return 0;
        }
        return value->toDouble();
    }
    template <typename Int>
    Int integer(const QString& key)
    {
        const auto value = required(key);
        return value ? asInteger<Int>(key, *value) : Int{};
    }
    template <typename Int>
    std::optional<Int> optionalInteger(const QString& key)
    {
        const auto value = optional(key);
        if (!value)
            return std::nullopt;
        return asInteger<Int>(key, *value);
    }
    QUuid uuid(const QString& key)
    {
        return parsedText(key, parseUuidStrict, QStringLiteral("not a UUID"));
    }
    QDateTime date(const QString& key)
    {
        return parsedText(key, parseInternetDateTime, QStringLiteral("not an internet date-time with whole seconds"));
    }
    template <typename T>
    T record(const QString& key)
    {
        const auto value = required(key);
        if (!value)
            return T{};
        return asRecord<T>(DecodePath {&m_path, &key}, *value);
    }
    template <typename T>
    std::optional<T> optionalRecord(const QString& key)
    {
        const auto value = optional(key);
        if (!value)
            return std::nullopt;
        T result = asRecord<T>(DecodePath {&m_path, &key}, *value);
        if (failed())
            return std::nullopt;
        return result;
    }
    template <typename T>
    std::vector<T> list(const QString& key)
    {
        const auto value = required(key);
        if (!value)
            return {};
        if (!value->isArray()) {
            fail(key, QStringLiteral("expected an array"));
            return {};
        }
        const QJsonArray array = value->toArray();
        std::vector<T> result;
        result.reserve(size_t(array.size()));
        for (qsizetype i = 0; i < array.size() && !failed(); ++i)
            result.push_back(asRecord<T>(DecodePath {&m_path, &key, i}, array.at(i)));
        return result;
    }

    void fail(const QString& key, const QString& reason)
    {
        if (!m_error)
            m_error = SnapshotCodingError{DecodePath {&m_path, &key}.render(), reason};
    }

private:
    // A required string that `parse` accepts; once any field has failed, nothing more is parsed.
    template <typename T>
    T parsedText(const QString& key, std::optional<T> (*parse)(QStringView), const QString& reason)
    {
        const QString value = text(key);
        if (failed())
            return T{};
        const auto parsed = parse(value);
        if (!parsed) {
            fail(key, reason);
            return T{};
        }
        return *parsed;
    }

    QString asText(const QString& key, const QJsonValue& value)
    {
        if (!value.isString()) {
            fail(key, QStringLiteral("expected a string"));
            return {};
        }
        return value.toString();
    }

    template <typename Int>
    Int asInteger(const QString& key, const QJsonValue& value)
    {
        if (!value.isDouble()) {
            fail(key, QStringLiteral("expected an integer"));
            return Int{};
        }
        // toInteger() answers its default for a fraction or a value beyond 64 bits; asking
        // with two different defaults tells that apart from a real value.
        const qint64 first = value.toInteger(std::numeric_limits<qint64>::min());
        const qint64 second = value.toInteger(std::numeric_limits<qint64>::max());
        if (first != second) {
            fail(key, QStringLiteral("expected an integer"));
            return Int{};
        }
        if (first < qint64(std::numeric_limits<Int>::min())
            || (std::numeric_limits<Int>::max() <= std::numeric_limits<qint64>::max()
                && first > qint64(std::numeric_limits<Int>::max()))) {
            fail(key, QStringLiteral("integer out of range"));
            return Int{};
        }
        return Int(first);
    }

    template <typename T>
    T asRecord(const DecodePath& here, const QJsonValue& value)
    {
        if (!value.isObject()) {
            if (!m_error)
                m_error = SnapshotCodingError{here.render(), QStringLiteral("expected an object")};
            return T{};
        }
        auto decoded = decodeAt<T>(value.toObject(), here);
        if (!decoded) {
            if (!m_error)
                m_error = decoded.error();
            return T{};
        }
        return *decoded;
    }

    const QJsonObject& m_object;
    const DecodePath& m_path;
    std::optional<SnapshotCodingError> m_error;
};

template <typename T>
std::expected<T, SnapshotCodingError> finish(const Reader& reader, T value)
{
    if (reader.failed())
        return Failure(reader.error());
    return value;
}

// Records that the reader fills in whole. A default-constructed record draws a random id (and a
// layout reads the clock twice) only for the reader to overwrite them; copying a blank one
// skips that work for every window of every file listed.
template <typename T>
T blankRecord()
{
    static const T blank = [] {
        T record;
        record.id = {};
        if constexpr (std::is_same_v<T, Snapshot>) {
            record.createdAt = {};
            record.updatedAt = {};
        }
        return record;
    }();
    return blank;
}

template <>
std::expected<CGRectCodable, SnapshotCodingError> decodeAt<CGRectCodable>(const QJsonObject& o, const DecodePath& path)
{
    Reader r(o, path);
    CGRectCodable v;
    v.x = r.number(QStringLiteral("x"));
    v.y = r.number(QStringLiteral("y"));
    v.width = r.number(QStringLiteral("width"));
    v.height = r.number(QStringLiteral("height"));
    return finish(r, v);
}

template <>
std::expected<NormalizedRect, SnapshotCodingError> decodeAt<NormalizedRect>(const QJsonObject& o, const DecodePath& path)
{
    Reader r(o, path);
    NormalizedRect v;
    v.xRatio = r.number(QStringLiteral("xRatio"));
    v.yRatio = r.number(QStringLiteral("yRatio"));
    v.widthRatio = r.number(QStringLiteral("widthRatio"));
    v.heightRatio = r.number(QStringLiteral("heightRatio"));
    return finish(r, v);
}

template <>
std::expected<HotkeyBinding, SnapshotCodingError> decodeAt<HotkeyBinding>(const QJsonObject& o, const DecodePath& path)
{
    Reader r(o, path);
    HotkeyBinding v;
    v.keyCode = r.integer<std::uint32_t>(QStringLiteral("keyCode"));
    v.modifiers = r.integer<std::uint32_t>(QStringLiteral("modifiers"));
    v.displayString = r.text(QStringLiteral("displayString"));
    return finish(r, v);
}

template <>
std::expected<WindowSignature, SnapshotCodingError> decodeAt<WindowSignature>(const QJsonObject& o, const DecodePath& path)
{
    Reader r(o, path);
    WindowSignature v;
    v.bundleIdentifier = r.text(QStringLiteral("bundleIdentifier"));
    v.owningPid = r.optionalInteger<std::int32_t>(QStringLiteral("owningPid"));
    v.windowTitle = r.optionalText(QStringLiteral("windowTitle"));
    v.role = r.text(QStringLiteral("role"));
    v.subrole = r.optionalText(QStringLiteral("subrole"));
    v.capturedFrame = r.record<CGRectCodable>(QStringLiteral("capturedFrame"));
    v.cgWindowID = r.optionalInteger<std::uint32_t>(QStringLiteral("cgWindowID"));
    return finish(r, v);
}

template <>
std::expected<WindowRecord, SnapshotCodingError> decodeAt<WindowRecord>(const QJsonObject& o, const DecodePath& path)
{
    Reader r(o, path);
    WindowRecord v = blankRecord<WindowRecord>();
    v.id = r.uuid(QStringLiteral("id"));
    v.bundleIdentifier = r.text(QStringLiteral("bundleIdentifier"));
    v.pidAtCapture = r.integer<std::int32_t>(QStringLiteral("pidAtCapture"));
    v.windowTitle = r.optionalText(QStringLiteral("windowTitle"));
    v.role = r.text(QStringLiteral("role"));
    v.subrole = r.optionalText(QStringLiteral("subrole"));
    v.frame = r.record<CGRectCodable>(QStringLiteral("frame"));
    v.displayID = r.optionalInteger<std::uint32_t>(QStringLiteral("displayID"));
    v.normalizedFrame = r.record<NormalizedRect>(QStringLiteral("normalizedFrame"));
    v.zOrderHint = r.optionalInteger<std::int64_t>(QStringLiteral("zOrderHint"));
    v.isMinimized = r.boolean(QStringLiteral("isMinimized"));
    v.isFullscreen = r.boolean(QStringLiteral("isFullscreen"));
    v.isVisible = r.boolean(QStringLiteral("isVisible"));
    v.captureSignature = r.record<WindowSignature>(QStringLiteral("captureSignature"));
    return finish(r, v);
}

template <>
std::expected<DisplayRecord, SnapshotCodingError> decodeAt<DisplayRecord>(const QJsonObject& o, const DecodePath& path)
{
    Reader r(o, path);
    DisplayRecord v;
    v.id = r.integer<std::uint32_t>(QStringLiteral("id"));
    v.localizedName = r.optionalText(QStringLiteral("localizedName"));
    v.frame = r.record<CGRectCodable>(QStringLiteral("frame"));
    v.visibleFrame = r.record<CGRectCodable>(QStringLiteral("visibleFrame"));
    v.backingScaleFactor = r.number(QStringLiteral("backingScaleFactor"));
    v.isPrimary = r.boolean(QStringLiteral("isPrimary"));
    v.vendorID = r.optionalInteger<std::uint32_t>(QStringLiteral("vendorID"));
    v.productID = r.optionalInteger<std::uint32_t>(QStringLiteral("productID"));
    v.serialNumber = r.optionalInteger<std::uint32_t>(QStringLiteral("serialNumber"));
    return finish(r, v);
}

template <>
std::expected<DisplayState, SnapshotCodingError> decodeAt<DisplayState>(const QJsonObject& o, const DecodePath& path)
{
    Reader r(o, path);
    DisplayState v;
    v.displays = r.list<DisplayRecord>(QStringLiteral("displays"));
    v.primaryDisplayID = r.optionalInteger<std::uint32_t>(QStringLiteral("primaryDisplayID"));
    // Stored bounds are taken as they stand, never recomputed from the displays.
    v.virtualDesktopBounds = r.record<CGRectCodable>(QStringLiteral("virtualDesktopBounds"));
    return finish(r, v);
}

template <>
std::expected<Snapshot, SnapshotCodingError> decodeAt<Snapshot>(const QJsonObject& o, const DecodePath& path)
{
    Reader r(o, path);
    Snapshot v = blankRecord<Snapshot>();
    v.id = r.uuid(QStringLiteral("id"));
    v.name = r.text(QStringLiteral("name"));
    v.createdAt = r.date(QStringLiteral("createdAt"));
    v.updatedAt = r.date(QStringLiteral("updatedAt"));
    v.schemaVersion = r.integer<std::int64_t>(QStringLiteral("schemaVersion"));
    v.sourceDisplayState = r.record<DisplayState>(QStringLiteral("sourceDisplayState"));
    v.windows = r.list<WindowRecord>(QStringLiteral("windows"));
    v.hotkey = r.optionalRecord<HotkeyBinding>(QStringLiteral("hotkey"));
    return finish(r, v);
}


// ---------------------------------------------------------------- reading with simdjson

// The reader above, on simdjson's parsed document: the same keys, types, ranges and texts,
// the last of a repeated key, null as absent. It only ever answers a layout the reader above
// would give too; on any doubt or failure it answers nothing and the reader above decides
// (and words the error).
using layout_json::element;

class FastReader : public layout_json::FieldReader {
public:
    bool cgRect(const element& e, CGRectCodable& out)
    {
        Fields<4> f;
        if (!fields(e, layout_json::keys::rect, f) || !number(f.value[0]) || !number(f.value[1])
            || !number(f.value[2]) || !number(f.value[3]))
            return false;
        out = CGRectCodable(doubleValue(f.value[2]), doubleValue(f.value[3]), doubleValue(f.value[1]),
                            doubleValue(f.value[0]));
        return true;
    }
    bool ratios(const element& e, NormalizedRect& out)
    {
        Fields<4> f;
        if (!fields(e, layout_json::keys::ratios, f) || !number(f.value[0]) || !number(f.value[1])
            || !number(f.value[2]) || !number(f.value[3]))
            return false;
        out.heightRatio = doubleValue(f.value[0]);
        out.widthRatio = doubleValue(f.value[1]);
        out.xRatio = doubleValue(f.value[2]);
        out.yRatio = doubleValue(f.value[3]);
        return true;
    }
    static bool text(const element& e, QString& out)
    {
        std::string_view s;
        if (!FieldReader::text(e, &s))
            return false;
        out = qString(s);
        return true;
    }
    template <size_t N>
    static bool optionalText(const Fields<N>& f, size_t i, std::optional<QString>& out)
    {
        if (!f.has(i))
            return true;
        return text(f.value[i], out.emplace());
    }
    static bool uuid(const element& e, QUuid& out)
    {
        if (!FieldReader::uuid(e))
            return false;
        const std::string_view s = e.get_string().value_unsafe();
        out = QUuid::fromString(QLatin1String(s.data(), qsizetype(s.size())));
        return !out.isNull() || s == "00000000-0000-0000-0000-000000000000";
    }
    static bool boolean(const element& e, bool& out)
    {
        if (!FieldReader::boolean(e))
            return false;
        out = e.get_bool().value_unsafe();
        return true;
    }
    static bool date(const element& e, QDateTime& out)
    {
        QString textValue;
        if (!text(e, textValue))
            return false;
        const auto parsed = parseInternetDateTime(textValue);
        if (parsed)
            out = *parsed;
        return parsed.has_value();
    }

    bool hotkey(const element& e, HotkeyBinding& out)
    {
        Fields<3> f;
        return fields(e, layout_json::keys::hotkey, f) && text(f.value[0], out.displayString)
            && integer(f.value[1], &out.keyCode) && integer(f.value[2], &out.modifiers);
    }

    bool signature(const element& e, WindowSignature& out)
    {
        Fields<7> f;
        return fields(e, layout_json::keys::signature, f) && text(f.value[0], out.bundleIdentifier)
            && cgRect(f.value[1], out.capturedFrame) && optionalInteger(f, 2, &out.cgWindowID)
            && optionalInteger(f, 3, &out.owningPid) && text(f.value[4], out.role) && optionalText(f, 5, out.subrole)
            && optionalText(f, 6, out.windowTitle);
    }

    bool window(const element& e, WindowRecord& out)
    {
        Fields<14> f;
        return fields(e, layout_json::keys::window, f) && text(f.value[0], out.bundleIdentifier)
            && signature(f.value[1], out.captureSignature) && optionalInteger(f, 2, &out.displayID)
            && cgRect(f.value[3], out.frame) && uuid(f.value[4], out.id) && boolean(f.value[5], out.isFullscreen)
            && boolean(f.value[6], out.isMinimized) && boolean(f.value[7], out.isVisible)
            && ratios(f.value[8], out.normalizedFrame) && integer(f.value[9], &out.pidAtCapture)
            && text(f.value[10], out.role) && optionalText(f, 11, out.subrole) && optionalText(f, 12, out.windowTitle)
            && optionalInteger(f, 13, &out.zOrderHint);
    }

    bool display(const element& e, DisplayRecord& out)
    {
        Fields<9> f;
        if (!fields(e, layout_json::keys::display, f) || !number(f.value[0]))
            return false;
        out.backingScaleFactor = doubleValue(f.value[0]);
        return cgRect(f.value[1], out.frame) && integer(f.value[2], &out.id) && boolean(f.value[3], out.isPrimary)
            && optionalText(f, 4, out.localizedName) && optionalInteger(f, 5, &out.productID)
            && optionalInteger(f, 6, &out.serialNumber) && optionalInteger(f, 7, &out.vendorID)
            && cgRect(f.value[8], out.visibleFrame);
    }

    bool displayState(const element& e, DisplayState& out)
    {
        Fields<3> f;
        if (!fields(e, layout_json::keys::displayState, f) || f.value[0].type() != layout_json::element_type::ARRAY)
            return false;
        const simdjson::dom::array displays = f.value[0].get_array().value_unsafe();
        out.displays.reserve(displays.size());
        for (const element d : displays)
            if (!display(d, out.displays.emplace_back()))
                return false;
        return optionalInteger(f, 1, &out.primaryDisplayID) && cgRect(f.value[2], out.virtualDesktopBounds);
    }

    bool layout(const element& e, Snapshot& out)
    {
        Fields<8> f;
        if (!fields(e, layout_json::keys::layout, f) || f.value[7].type() != layout_json::element_type::ARRAY)
            return false;
        QString idText;
        if (!text(f.value[2], idText) || !text(f.value[3], out.name) || !date(f.value[0], out.createdAt)
            || !date(f.value[6], out.updatedAt) || !integer(f.value[4], &out.schemaVersion)
            || !displayState(f.value[5], out.sourceDisplayState))
            return false;
        const auto id = parseUuidStrict(idText);
        if (!id)
            return false;
        out.id = *id;
        const simdjson::dom::array windows = f.value[7].get_array().value_unsafe();
        out.windows.reserve(windows.size());
        for (const element w : windows) {
            out.windows.push_back(blankRecord<WindowRecord>());
            if (!window(w, out.windows.back()))
                return false;
        }
        if (f.has(1) && !hotkey(f.value[1], out.hotkey.emplace()))
            return false;
        return true;
    }
};

std::optional<Snapshot> decodeWithSimdjson(const QByteArray& bytes)
{
    layout_json::Parser parser;
    const auto root = parser.parse(bytes);
    if (!root)
        return std::nullopt;
    FastReader reader;
    Snapshot snapshot = blankRecord<Snapshot>();
    if (!reader.layout(*root, snapshot))
        return std::nullopt;
    if (reader.maybeRoundedZero && layout_json::hasNumberRoundingToZero(parser.text()))
        return std::nullopt;
    return snapshot;
}

} // namespace

template <typename T>
std::expected<T, SnapshotCodingError> decodeJson(const QJsonObject& object)
{
    return decodeAt<T>(object, DecodePath {});
}

template std::expected<Snapshot, SnapshotCodingError> decodeJson<Snapshot>(const QJsonObject&);
template std::expected<WindowRecord, SnapshotCodingError> decodeJson<WindowRecord>(const QJsonObject&);
template std::expected<WindowSignature, SnapshotCodingError> decodeJson<WindowSignature>(const QJsonObject&);
template std::expected<DisplayState, SnapshotCodingError> decodeJson<DisplayState>(const QJsonObject&);
template std::expected<DisplayRecord, SnapshotCodingError> decodeJson<DisplayRecord>(const QJsonObject&);
template std::expected<NormalizedRect, SnapshotCodingError> decodeJson<NormalizedRect>(const QJsonObject&);
template std::expected<CGRectCodable, SnapshotCodingError> decodeJson<CGRectCodable>(const QJsonObject&);
template std::expected<HotkeyBinding, SnapshotCodingError> decodeJson<HotkeyBinding>(const QJsonObject&);

std::expected<QJsonObject, SnapshotCodingError> encodeJson(const CGRectCodable& v)
{
    Writer w{QString()};
    QJsonObject o;
    w.number(o, QStringLiteral("x"), v.x);
    w.number(o, QStringLiteral("y"), v.y);
    w.number(o, QStringLiteral("width"), v.width);
    w.number(o, QStringLiteral("height"), v.height);
    return w.finish(o);
}

std::expected<QJsonObject, SnapshotCodingError> encodeJson(const NormalizedRect& v)
{
    Writer w{QString()};
    QJsonObject o;
    w.number(o, QStringLiteral("xRatio"), v.xRatio);
    w.number(o, QStringLiteral("yRatio"), v.yRatio);
    w.number(o, QStringLiteral("widthRatio"), v.widthRatio);
    w.number(o, QStringLiteral("heightRatio"), v.heightRatio);
    return w.finish(o);
}

QJsonObject encodeJson(const HotkeyBinding& v)
{
    QJsonObject o;
    Writer::integer(o, QStringLiteral("keyCode"), v.keyCode);
    Writer::integer(o, QStringLiteral("modifiers"), v.modifiers);
    o.insert(QStringLiteral("displayString"), v.displayString);
    return o;
}

std::expected<QJsonObject, SnapshotCodingError> encodeJson(const WindowSignature& v)
{
    Writer w{QString()};
    QJsonObject o;
    o.insert(QStringLiteral("bundleIdentifier"), v.bundleIdentifier);
    Writer::integer(o, QStringLiteral("owningPid"), v.owningPid);
    Writer::text(o, QStringLiteral("windowTitle"), v.windowTitle);
    o.insert(QStringLiteral("role"), v.role);
    Writer::text(o, QStringLiteral("subrole"), v.subrole);
    w.nested(o, QStringLiteral("capturedFrame"), encodeJson(v.capturedFrame));
    Writer::integer(o, QStringLiteral("cgWindowID"), v.cgWindowID);
    return w.finish(o);
}

std::expected<QJsonObject, SnapshotCodingError> encodeJson(const WindowRecord& v)
{
    Writer w{QString()};
    QJsonObject o;
    o.insert(QStringLiteral("id"), uuidText(v.id));
    o.insert(QStringLiteral("bundleIdentifier"), v.bundleIdentifier);
    Writer::integer(o, QStringLiteral("pidAtCapture"), v.pidAtCapture);
    Writer::text(o, QStringLiteral("windowTitle"), v.windowTitle);
    o.insert(QStringLiteral("role"), v.role);
    Writer::text(o, QStringLiteral("subrole"), v.subrole);
    w.nested(o, QStringLiteral("frame"), encodeJson(v.frame));
    Writer::integer(o, QStringLiteral("displayID"), v.displayID);
    w.nested(o, QStringLiteral("normalizedFrame"), encodeJson(v.normalizedFrame));
    Writer::integer(o, QStringLiteral("zOrderHint"), v.zOrderHint);
    o.insert(QStringLiteral("isMinimized"), v.isMinimized);
    o.insert(QStringLiteral("isFullscreen"), v.isFullscreen);
    o.insert(QStringLiteral("isVisible"), v.isVisible);
    w.nested(o, QStringLiteral("captureSignature"), encodeJson(v.captureSignature));
    return w.finish(o);
}

std::expected<QJsonObject, SnapshotCodingError> encodeJson(const DisplayRecord& v)
{
    Writer w{QString()};
    QJsonObject o;
    Writer::integer(o, QStringLiteral("id"), v.id);
    Writer::text(o, QStringLiteral("localizedName"), v.localizedName);
    w.nested(o, QStringLiteral("frame"), encodeJson(v.frame));
    w.nested(o, QStringLiteral("visibleFrame"), encodeJson(v.visibleFrame));
    w.number(o, QStringLiteral("backingScaleFactor"), v.backingScaleFactor);
    o.insert(QStringLiteral("isPrimary"), v.isPrimary);
    Writer::integer(o, QStringLiteral("vendorID"), v.vendorID);
    Writer::integer(o, QStringLiteral("productID"), v.productID);
    Writer::integer(o, QStringLiteral("serialNumber"), v.serialNumber);
    return w.finish(o);
}

std::expected<QJsonObject, SnapshotCodingError> encodeJson(const DisplayState& v)
{
    Writer w{QString()};
    QJsonObject o;
    QJsonArray displays;
    for (size_t i = 0; i < v.displays.size(); ++i)
        w.nestedInArray(displays, QStringLiteral("displays"), qsizetype(i), encodeJson(v.displays[i]));
    o.insert(QStringLiteral("displays"), displays);
    Writer::integer(o, QStringLiteral("primaryDisplayID"), v.primaryDisplayID);
    w.nested(o, QStringLiteral("virtualDesktopBounds"), encodeJson(v.virtualDesktopBounds));
    return w.finish(o);
}

std::expected<QJsonObject, SnapshotCodingError> encodeJson(const Snapshot& v)
{
    Writer w{QString()};
    QJsonObject o;
    o.insert(QStringLiteral("id"), uuidText(v.id));
    o.insert(QStringLiteral("name"), v.name);
    o.insert(QStringLiteral("createdAt"), formatInternetDateTime(v.createdAt));
    o.insert(QStringLiteral("updatedAt"), formatInternetDateTime(v.updatedAt));
    Writer::integer(o, QStringLiteral("schemaVersion"), v.schemaVersion);
    w.nested(o, QStringLiteral("sourceDisplayState"), encodeJson(v.sourceDisplayState));
    QJsonArray windows;
    for (size_t i = 0; i < v.windows.size(); ++i)
        w.nestedInArray(windows, QStringLiteral("windows"), qsizetype(i), encodeJson(v.windows[i]));
    o.insert(QStringLiteral("windows"), windows);
    if (v.hotkey)
        o.insert(QStringLiteral("hotkey"), encodeJson(*v.hotkey));
    return w.finish(o);
}

std::expected<QByteArray, SnapshotCodingError> encodeSnapshotDocument(const Snapshot& snapshot)
{
    // A date the reader would refuse must not be written: the layout would vanish from the list.
    if (!isWritableInternetDateTime(snapshot.createdAt))
        return Failure(SnapshotCodingError{QStringLiteral("createdAt"), QStringLiteral("a date is not valid")});
    if (!isWritableInternetDateTime(snapshot.updatedAt))
        return Failure(SnapshotCodingError{QStringLiteral("updatedAt"), QStringLiteral("a date is not valid")});
    auto object = encodeJson(snapshot);
    if (!object)
        return Failure(object.error());
    // QJsonObject keeps its keys sorted, so the document comes out with sorted keys.
    return QJsonDocument(*object).toJson(QJsonDocument::Indented);
}

std::expected<Snapshot, SnapshotCodingError> decodeSnapshotDocument(const QByteArray& bytes)
{
    if (auto fast = decodeWithSimdjson(bytes))
        return std::move(*fast);
    return decodeSnapshotDocumentWithQJson(bytes);
}

std::expected<Snapshot, SnapshotCodingError> decodeSnapshotDocumentWithQJson(const QByteArray& bytes)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return Failure(SnapshotCodingError{QString(),
            QStringLiteral("not valid JSON (%1 at offset %2)").arg(parseError.errorString()).arg(parseError.offset)});
    if (!document.isObject())
        return Failure(SnapshotCodingError{QString(), QStringLiteral("the document is not a JSON object")});
    return decodeJson<Snapshot>(document.object());
}

} // namespace zen
