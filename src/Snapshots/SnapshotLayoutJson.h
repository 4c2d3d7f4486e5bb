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
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace zen::layout_json {

using simdjson::dom::element;
using simdjson::dom::element_type;

// Spare bytes a document needs after its end to be parsed in place.
constexpr qsizetype padding = qsizetype(simdjson::SIMDJSON_PADDING);

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

// Whether all eight bytes are hexadecimal digits, either case. Below 0x80, adding 0x80 - n to
// a byte sets its top bit exactly when it is at least n, with no carry into the next byte.
inline bool hexDigits(std::uint64_t x)
{
    constexpr std::uint64_t ones = 0x0101010101010101u, top = 0x8080808080808080u;
    if (x & top)
        return false;
    const auto atLeast = [](std::uint64_t v, unsigned n) { return v + (0x80 - n) * ones; };
    const std::uint64_t lower = x | 0x20 * ones;
    const std::uint64_t digit = atLeast(x, '0') & ~atLeast(x, '9' + 1);
    const std::uint64_t letter = atLeast(lower, 'a') & ~atLeast(lower, 'f' + 1);
    return ((digit | letter) & top) == top;
}

// What parseUuidStrict takes: 8-4-4-4-12 hexadecimal digits, either case. Eight digits at a
// time: one id per window of every file listed, it showed in the listing's time when checked
// byte by byte.
inline bool uuidText(std::string_view s)
{
    if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-')
        return false;
    char digits[32];
    std::memcpy(digits, s.data(), 8);
    std::memcpy(digits + 8, s.data() + 9, 4);
    std::memcpy(digits + 12, s.data() + 14, 4);
    std::memcpy(digits + 16, s.data() + 19, 4);
    std::memcpy(digits + 20, s.data() + 24, 12);
    for (size_t c = 0; c < 32; c += 8) {
        std::uint64_t x;
        std::memcpy(&x, digits + c, 8);
        if (!hexDigits(x))
            return false;
    }
    return true;
}

// Bytes the array owns after its end. Not capacity() - size(): the capacity also counts the
// room before the first byte, which an array keeps after bytes were removed from its front.
inline qsizetype spareBytesAfter(const QByteArray& bytes)
{
    // data_ptr() gives access without detaching; only read here.
    return const_cast<QByteArray&>(bytes).data_ptr().freeSpaceAtEnd();
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
        const char* data = m_text.data();
        if (spareBytesAfter(document) <= padding) {
            m_padded.assign(m_text);
            m_padded.resize(m_text.size() + size_t(padding), ' ');
            data = m_padded.data();
        }
        if (m_parser.capacity() < m_text.size() || m_parser.max_depth() != maximumDepth) {
            if (m_parser.allocate(std::max(m_text.size(), m_parser.capacity()), maximumDepth) != simdjson::SUCCESS)
                return std::nullopt;
        }
        element root;
        if (m_parser.parse(data, m_text.size(), false).get(root) != simdjson::SUCCESS)
            return std::nullopt;
        return root;
    }
    // The text last parsed, without a byte-order mark.
    std::string_view text() const { return m_text; }

private:
    simdjson::dom::parser m_parser;
    std::string m_padded; // for bytes without room after them
    std::string_view m_text;
};

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

    // Keys are short: two overlapping word loads beat a call to memcmp, which took most of
    // the time spent past the parse.
    static bool sameKey(std::string_view a, std::string_view b)
    {
        const size_t n = a.size();
        if (n != b.size())
            return false;
        if (n >= 8) {
            std::uint64_t x0, y0, x1, y1;
            std::memcpy(&x0, a.data(), 8);
            std::memcpy(&y0, b.data(), 8);
            std::memcpy(&x1, a.data() + n - 8, 8);
            std::memcpy(&y1, b.data() + n - 8, 8);
            if (x0 != y0 || x1 != y1)
                return false;
            for (size_t i = 8; i + 8 < n; i += 8) {
                std::memcpy(&x0, a.data() + i, 8);
                std::memcpy(&y0, b.data() + i, 8);
                if (x0 != y0)
                    return false;
            }
            return true;
        }
        for (size_t i = 0; i < n; ++i)
            if (a[i] != b[i])
                return false;
        return true;
    }

    // The last value of each key of `keys` in the object; false when it is not an object.
    template <size_t N>
    bool fields(const element& e, const std::array<std::string_view, N>& keys, Fields<N>& out)
    {
        if (e.type() != element_type::OBJECT)
            return false;
        size_t hint = 0;
        const simdjson::dom::object object = e.get_object().value_unsafe();
        // The iterator's own key and value: a key-value pair built on the stack and copied
        // out again stalled on every field.
        for (auto it = object.begin(); it != object.end(); ++it) {
            const std::string_view key = it.key();
            // Our own files keep keys sorted, as the table is: the next key is usually the next entry.
            size_t i = hint;
            size_t tried = 0;
            for (; tried < N; ++tried, i = i + 1 == N ? 0 : i + 1)
                if (sameKey(keys[i], key))
                    break;
            if (tried == N || out.given[i])
                maybeRoundedZero = true;
            if (tried == N)
                continue;
            out.value[i] = it.value();
            out.given[i] = true;
            hint = i + 1 == N ? 0 : i + 1;
        }
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

    template <size_t N>
    static bool all(const Fields<N>& f, std::initializer_list<size_t> required)
    {
        for (size_t i : required)
            if (!f.has(i))
                return false;
        return true;
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
