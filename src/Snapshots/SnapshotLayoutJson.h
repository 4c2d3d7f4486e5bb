#pragma once

// What the fast layout readers share: simdjson's parser set up as the full reader's rules need
// it, and the full reader's checks of single values. Internal to src/Snapshots.

#include <QByteArray>
#include <QString>

#include <simdjson.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace zen::layout_json {

using simdjson::dom::element;
using simdjson::dom::element_type;

// A layout nests five levels deep; anything much deeper sits in keys the reader ignores, and
// the two parsers' depth limits need not agree there.
constexpr size_t maximumDepth = 64;

// Qt's reader refuses a number that rounds to zero though it is not zero ("1e-400", or "0."
// and 400 digits); simdjson reads it as 0. Only a document that holds a floating-point zero can
// have one, and then only in a number with a negative exponent or over 320 characters long:
// both are found without reading every byte (a match inside a string only costs a look, or at
// worst leaves the document to Qt's reader).
// Qt keeps a number written as a plain integer exactly and any other as a double, which counts
// as an integer when it is whole and within 64 bits.
inline bool wholeDouble(double d, std::int64_t* value)
{
    if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0) || std::trunc(d) != d)
        return false;
    *value = std::int64_t(d);
    return true;
}

// Whether a 64-bit integer fits the field's own type.
template <typename Int>
bool fitsIn(std::int64_t value)
{
    return value >= std::int64_t(std::numeric_limits<Int>::min())
        && (std::numeric_limits<Int>::max() > std::numeric_limits<std::int64_t>::max()
            || value <= std::int64_t(std::numeric_limits<Int>::max()));
}

inline bool isNumberByte(char c)
{
    return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+';
}
// Whether the number around `at` has a non-zero digit before its exponent and reads as zero.
inline bool roundsToZero(std::string_view text, size_t at)
{
    size_t start = at, end = at;
    while (start > 0 && isNumberByte(text[start - 1]))
        --start;
    while (end < text.size() && isNumberByte(text[end]))
        ++end;
    // Only where a value can stand: a hexadecimal id in a string ("…8E-6803…") is no number.
    auto delimits = [](char c) {
        return c == ':' || c == ',' || c == '[' || c == ']' || c == '}' || c == ' ' || c == '\n' || c == '\r' || c == '\t';
    };
    if ((start > 0 && !delimits(text[start - 1])) || (end < text.size() && !delimits(text[end])))
        return false;
    bool nonZeroDigit = false;
    for (size_t i = start; i < end && text[i] != 'e' && text[i] != 'E'; ++i)
        nonZeroDigit = nonZeroDigit || (text[i] >= '1' && text[i] <= '9');
    return nonZeroDigit && std::strtod(std::string(text.substr(start, end - start)).c_str(), nullptr) == 0;
}
inline bool hasNumberRoundingToZero(std::string_view text)
{
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    for (const char* p = begin; (p = static_cast<const char*>(std::memchr(p, '-', size_t(end - p)))); ++p) {
        if (p > begin && (p[-1] == 'e' || p[-1] == 'E') && roundsToZero(text, size_t(p - begin)))
            return true;
    }
    // A run of 320 number bytes covers at least four consecutive multiples of 64.
    constexpr size_t step = 64;
    for (size_t i = 0; i + 3 * step < text.size(); i += step) {
        if (isNumberByte(text[i]) && isNumberByte(text[i + step]) && isNumberByte(text[i + 2 * step])
            && isNumberByte(text[i + 3 * step]) && roundsToZero(text, i))
            return true;
    }
    return false;
}

// What parseUuidStrict takes: 8-4-4-4-12 hexadecimal digits, either case.
inline bool uuidText(std::string_view s)
{
    if (s.size() != 36)
        return false;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (dash ? c != '-' : !hex)
            return false;
    }
    return true;
}

// One simdjson parser and its buffers, reused from document to document; one thread at a time.
class Parser {
public:
    // The parsed document, or nothing when simdjson refuses it (the full reader may not).
    std::optional<element> parse(const QByteArray& document)
    {
        m_text = std::string_view(document.constData(), size_t(document.size()));
        // Qt's reader skips a byte-order mark; simdjson does not take one.
        if (m_text.starts_with("\xEF\xBB\xBF"))
            m_text.remove_prefix(3);
        if (m_text.empty() || m_text.size() > simdjson::SIMDJSON_MAXSIZE_BYTES)
            return std::nullopt;
        if (m_parser.max_depth() != maximumDepth
            && m_parser.allocate(std::max(m_text.size(), m_parser.capacity()), maximumDepth) != simdjson::SUCCESS)
            return std::nullopt;
        // simdjson reads a little past the end: it copies the text into a padded buffer of the
        // parser's own, kept from document to document.
        element root;
        if (m_parser.parse(m_text.data(), m_text.size(), true).get(root) != simdjson::SUCCESS)
            return std::nullopt;
        return root;
    }
    // The text last parsed, without a byte-order mark.
    std::string_view text() const { return m_text; }

private:
    simdjson::dom::parser m_parser;
    std::string_view m_text;
};

// The keys of each object of a layout, sorted as this program writes them, and whether the
// full reader requires each (given and not null). Both fast readers read by these tables.
enum class Presence { required, optional };
struct Key {
    std::string_view name;
    Presence presence;
};
template <size_t N>
using Keys = std::array<Key, N>;

namespace keys {
constexpr auto required = Presence::required;
constexpr auto optional = Presence::optional;
inline constexpr Keys<4> rect {{{"height", required}, {"width", required}, {"x", required}, {"y", required}}};
inline constexpr Keys<4> ratios {
    {{"heightRatio", required}, {"widthRatio", required}, {"xRatio", required}, {"yRatio", required}}};
inline constexpr Keys<3> hotkey {{{"displayString", required}, {"keyCode", required}, {"modifiers", required}}};
inline constexpr Keys<7> signature {{{"bundleIdentifier", required}, {"capturedFrame", required},
                                     {"cgWindowID", optional}, {"owningPid", optional}, {"role", required},
                                     {"subrole", optional}, {"windowTitle", optional}}};
inline constexpr Keys<14> window {{{"bundleIdentifier", required}, {"captureSignature", required},
                                   {"displayID", optional}, {"frame", required}, {"id", required},
                                   {"isFullscreen", required}, {"isMinimized", required}, {"isVisible", required},
                                   {"normalizedFrame", required}, {"pidAtCapture", required}, {"role", required},
                                   {"subrole", optional}, {"windowTitle", optional}, {"zOrderHint", optional}}};
inline constexpr Keys<9> display {{{"backingScaleFactor", required}, {"frame", required}, {"id", required},
                                   {"isPrimary", required}, {"localizedName", optional}, {"productID", optional},
                                   {"serialNumber", optional}, {"vendorID", optional}, {"visibleFrame", required}}};
inline constexpr Keys<3> displayState {
    {{"displays", required}, {"primaryDisplayID", optional}, {"virtualDesktopBounds", required}}};
inline constexpr Keys<8> layout {{{"createdAt", required}, {"hotkey", optional}, {"id", required},
                                  {"name", required}, {"schemaVersion", required}, {"sourceDisplayState", required},
                                  {"updatedAt", required}, {"windows", required}}};
} // namespace keys

// The full reader's checks of single values; `maybeRoundedZero` notes a floating-point zero,
// or a value passed over unread (an unknown key's, or a repeated key's earlier one), which may
// hold one: it calls for hasNumberRoundingToZero before the document is taken.
class FieldReader {
public:
    bool maybeRoundedZero = false;

    template <size_t N>
    struct Fields {
        std::array<element, N> value;
        std::array<bool, N> given {};

        bool has(size_t i) const { return given[i] && value[i].type() != element_type::NULL_VALUE; }
    };

    // The last value of each key of the table in the object; false when it is not an object
    // or lacks a required key.
    template <size_t N>
    bool fields(const element& e, const Keys<N>& keys, Fields<N>& out)
    {
        if (e.type() != element_type::OBJECT)
            return false;
        // Our own files keep keys sorted, as the table is: the next key is usually the next entry.
        size_t next = 0;
        const simdjson::dom::object object = e.get_object().value_unsafe();
        for (const auto field : object) {
            size_t i = next, tried = 0;
            while (tried < N && keys[i].name != field.key) {
                ++tried;
                i = (i + 1) % N;
            }
            if (tried == N || out.given[i])
                maybeRoundedZero = true; // a value passed over unread
            if (tried == N)
                continue;
            out.value[i] = field.value;
            out.given[i] = true;
            next = (i + 1) % N;
        }
        for (size_t i = 0; i < N; ++i)
            if (keys[i].presence == Presence::required && !out.has(i))
                return false;
        return true;
    }

    bool number(const element& e)
    {
        switch (e.type()) {
        case element_type::DOUBLE:
            if (e.get_double().value_unsafe() == 0)
                maybeRoundedZero = true;
            return true;
        case element_type::INT64:
        case element_type::UINT64:
            return true;
        default:
            return false;
        }
    }

    // Qt keeps a number written as a plain integer exactly and any other as a double, which
    // counts as an integer when it is whole and within 64 bits.
    template <typename Int>
    bool integer(const element& e, Int* out = nullptr)
    {
        std::int64_t value = 0;
        switch (e.type()) {
        case element_type::INT64:
            value = e.get_int64().value_unsafe();
            break;
        case element_type::UINT64:
            return false; // beyond 63 bits: beyond every field's range
        case element_type::DOUBLE: {
            const double d = e.get_double().value_unsafe();
            if (d == 0)
                maybeRoundedZero = true;
            if (!wholeDouble(d, &value))
                return false;
            break;
        }
        default:
            return false;
        }
        if (!fitsIn<Int>(value))
            return false;
        if (out)
            *out = Int(value);
        return true;
    }
    template <typename Int, size_t N>
    bool optionalInteger(const Fields<N>& f, size_t i, std::optional<Int>* out = nullptr)
    {
        if (!f.has(i))
            return true;
        Int value {};
        if (!integer(f.value[i], &value))
            return false;
        if (out)
            *out = value;
        return true;
    }

    static bool text(const element& e, std::string_view* out = nullptr)
    {
        if (e.type() != element_type::STRING)
            return false;
        if (out)
            *out = e.get_string().value_unsafe();
        return true;
    }
    template <size_t N>
    static bool optionalText(const Fields<N>& f, size_t i)
    {
        return !f.has(i) || text(f.value[i]);
    }
    static bool boolean(const element& e) { return e.type() == element_type::BOOL; }

    static bool uuid(const element& e)
    {
        std::string_view s;
        return text(e, &s) && uuidText(s);
    }

    static double doubleValue(const element& e)
    {
        switch (e.type()) {
        case element_type::INT64: return double(e.get_int64().value_unsafe());
        case element_type::UINT64: return double(e.get_uint64().value_unsafe());
        default: return e.get_double().value_unsafe();
        }
    }
    static QString qString(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }
};

} // namespace zen::layout_json
