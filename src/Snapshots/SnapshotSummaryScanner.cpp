#include "Snapshots/SnapshotSummaryScanner.h"

#include "Shared/InternetDateTime.h"
#include "Shared/Uuid.h"

#include <simdjson.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace zen {

static_assert(SnapshotSummaryScanner::padding >= qsizetype(simdjson::SIMDJSON_PADDING));

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// A layout nests five levels deep; anything much deeper sits in keys the reader ignores, and
// the two parsers' depth limits need not agree there.
constexpr size_t maximumDepth = 64;

// Qt's reader refuses a number that rounds to zero though it is not zero ("1e-400");
// simdjson reads it as 0. Only a document that holds a floating-point zero can have one.
bool hasNumberRoundingToZero(std::string_view text)
{
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char c = *p;
        if (c == '"') {
            for (++p; p < end && *p != '"'; ++p)
                if (*p == '\\')
                    ++p;
            ++p;
            continue;
        }
        if (c == '-' || (c >= '0' && c <= '9')) {
            const char* start = p;
            bool nonZeroDigit = false, exponent = false;
            for (; p < end && (*p == '-' || *p == '+' || *p == '.' || *p == 'e' || *p == 'E' || (*p >= '0' && *p <= '9')); ++p) {
                if (*p == 'e' || *p == 'E')
                    exponent = true;
                else if (!exponent && *p >= '1' && *p <= '9')
                    nonZeroDigit = true;
            }
            if (nonZeroDigit && std::strtod(std::string(start, size_t(p - start)).c_str(), nullptr) == 0)
                return true;
            continue;
        }
        ++p;
    }
    return false;
}

// Distinct texts, kept as views into the parsed document; few in practice.
class DistinctTexts {
public:
    void insert(std::string_view text)
    {
        if (!m_large.empty()) {
            m_large.insert(text);
            return;
        }
        if (std::find(m_small.begin(), m_small.end(), text) != m_small.end())
            return;
        m_small.push_back(text);
        if (m_small.size() > 32)
            m_large.insert(m_small.begin(), m_small.end());
    }
    qsizetype size() const { return qsizetype(m_large.empty() ? m_small.size() : m_large.size()); }

private:
    std::vector<std::string_view> m_small;
    std::unordered_set<std::string_view> m_large;
};

// The checks of the layout reader, on simdjson's parsed document. Of a repeated key the last
// one counts, as in the reader; a null optional value means absent, a null required one is
// missing.
class Walker {
public:
    bool zeroDouble = false;

    template <size_t N>
    struct Fields {
        std::array<element, N> value;
        std::array<bool, N> given {};

        bool has(size_t i) const { return given[i] && value[i].type() != element_type::NULL_VALUE; }
    };

    // The last value of each key of `keys` in the object; false when it is not an object.
    template <size_t N>
    static bool fields(const element& e, const std::array<std::string_view, N>& keys, Fields<N>& out)
    {
        if (e.type() != element_type::OBJECT)
            return false;
        size_t hint = 0;
        const simdjson::dom::object object = e.get_object().value_unsafe();
        for (const auto field : object) {
            // Our own files keep keys sorted, as the table is: the next key is usually the next entry.
            size_t i = hint;
            size_t tried = 0;
            for (; tried < N; ++tried, i = i + 1 == N ? 0 : i + 1)
                if (keys[i] == field.key)
                    break;
            if (tried == N)
                continue;
            out.value[i] = field.value;
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
                zeroDouble = true;
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
                zeroDouble = true;
            if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0) || std::trunc(d) != d)
                return false;
            value = std::int64_t(d);
            break;
        }
        default:
            return false;
        }
        if (value < std::int64_t(std::numeric_limits<Int>::min())
            || (std::numeric_limits<Int>::max() <= std::numeric_limits<std::int64_t>::max()
                && value > std::int64_t(std::numeric_limits<Int>::max())))
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

    // What parseUuidStrict takes: 8-4-4-4-12 hexadecimal digits, either case.
    static bool uuid(const element& e)
    {
        std::string_view s;
        if (!text(e, &s) || s.size() != 36)
            return false;
        for (size_t i = 0; i < 36; ++i) {
            const char c = s[i];
            const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
            if (hyphen ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
                return false;
        }
        return true;
    }

    template <size_t N>
    static bool all(const Fields<N>& f, std::initializer_list<size_t> required)
    {
        for (size_t i : required)
            if (!f.has(i))
                return false;
        return true;
    }

    bool rect(const element& e, const std::array<std::string_view, 4>& keys)
    {
        Fields<4> f;
        if (!fields(e, keys, f) || !all(f, {0, 1, 2, 3}))
            return false;
        return number(f.value[0]) && number(f.value[1]) && number(f.value[2]) && number(f.value[3]);
    }
    bool cgRect(const element& e)
    {
        static constexpr std::array<std::string_view, 4> keys {"height", "width", "x", "y"};
        return rect(e, keys);
    }

    bool hotkey(const element& e, HotkeyBinding& out)
    {
        static constexpr std::array<std::string_view, 3> keys {"displayString", "keyCode", "modifiers"};
        Fields<3> f;
        std::string_view display;
        if (!fields(e, keys, f) || !all(f, {0, 1, 2}) || !text(f.value[0], &display)
            || !integer(f.value[1], &out.keyCode) || !integer(f.value[2], &out.modifiers))
            return false;
        out.displayString = QString::fromUtf8(display.data(), qsizetype(display.size()));
        return true;
    }

    bool signature(const element& e)
    {
        static constexpr std::array<std::string_view, 7> keys {"bundleIdentifier", "capturedFrame", "cgWindowID",
                                                                "owningPid", "role", "subrole", "windowTitle"};
        Fields<7> f;
        return fields(e, keys, f) && all(f, {0, 1, 4}) && text(f.value[0]) && cgRect(f.value[1])
            && optionalInteger<std::uint32_t>(f, 2) && optionalInteger<std::int32_t>(f, 3) && text(f.value[4])
            && optionalText(f, 5) && optionalText(f, 6);
    }

    bool window(const element& e, DistinctTexts& apps, std::vector<std::uint32_t>& windowDisplays)
    {
        static constexpr std::array<std::string_view, 14> keys {
            "bundleIdentifier", "captureSignature", "displayID", "frame", "id", "isFullscreen", "isMinimized",
            "isVisible", "normalizedFrame", "pidAtCapture", "role", "subrole", "windowTitle", "zOrderHint"};
        static constexpr std::array<std::string_view, 4> ratioKeys {"heightRatio", "widthRatio", "xRatio", "yRatio"};
        Fields<14> f;
        std::string_view bundle;
        std::optional<std::uint32_t> display;
        if (!fields(e, keys, f) || !all(f, {0, 1, 3, 4, 5, 6, 7, 8, 9, 10}) || !text(f.value[0], &bundle)
            || !signature(f.value[1]) || !optionalInteger(f, 2, &display) || !cgRect(f.value[3]) || !uuid(f.value[4])
            || !boolean(f.value[5]) || !boolean(f.value[6]) || !boolean(f.value[7]) || !rect(f.value[8], ratioKeys)
            || !integer<std::int32_t>(f.value[9]) || !text(f.value[10]) || !optionalText(f, 11) || !optionalText(f, 12)
            || !optionalInteger<std::int64_t>(f, 13))
            return false;
        apps.insert(bundle);
        if (display)
            windowDisplays.push_back(*display);
        return true;
    }

    bool display(const element& e, std::vector<std::uint32_t>& savedDisplays)
    {
        static constexpr std::array<std::string_view, 9> keys {"backingScaleFactor", "frame", "id", "isPrimary",
                                                                "localizedName", "productID", "serialNumber",
                                                                "vendorID", "visibleFrame"};
        Fields<9> f;
        std::uint32_t id = 0;
        if (!fields(e, keys, f) || !all(f, {0, 1, 2, 3, 8}) || !number(f.value[0]) || !cgRect(f.value[1])
            || !integer(f.value[2], &id) || !boolean(f.value[3]) || !optionalText(f, 4)
            || !optionalInteger<std::uint32_t>(f, 5) || !optionalInteger<std::uint32_t>(f, 6)
            || !optionalInteger<std::uint32_t>(f, 7) || !cgRect(f.value[8]))
            return false;
        savedDisplays.push_back(id);
        return true;
    }

    bool displayState(const element& e, std::vector<std::uint32_t>& savedDisplays)
    {
        static constexpr std::array<std::string_view, 3> keys {"displays", "primaryDisplayID", "virtualDesktopBounds"};
        Fields<3> f;
        if (!fields(e, keys, f) || !all(f, {0, 2}) || f.value[0].type() != element_type::ARRAY)
            return false;
        const simdjson::dom::array displays = f.value[0].get_array().value_unsafe();
        for (const element d : displays)
            if (!display(d, savedDisplays))
                return false;
        return optionalInteger<std::uint32_t>(f, 1) && cgRect(f.value[2]);
    }

    bool layout(const element& e, SnapshotSummaryScanner::Result& result)
    {
        static constexpr std::array<std::string_view, 8> keys {"createdAt", "hotkey", "id", "name", "schemaVersion",
                                                                "sourceDisplayState", "updatedAt", "windows"};
        Fields<8> f;
        std::string_view idText, nameText, createdText, updatedText;
        if (!fields(e, keys, f) || !all(f, {0, 2, 3, 4, 5, 6, 7}) || !text(f.value[0], &createdText)
            || !text(f.value[2], &idText) || !text(f.value[3], &nameText) || !text(f.value[6], &updatedText)
            || !integer(f.value[4], &result.schemaVersion))
            return false;
        std::vector<std::uint32_t> savedDisplays;
        if (!displayState(f.value[5], savedDisplays) || f.value[7].type() != element_type::ARRAY)
            return false;
        DistinctTexts apps;
        std::vector<std::uint32_t> windowDisplays;
        qsizetype windowCount = 0;
        const simdjson::dom::array windows = f.value[7].get_array().value_unsafe();
        for (const element w : windows) {
            if (!window(w, apps, windowDisplays))
                return false;
            ++windowCount;
        }
        std::optional<HotkeyBinding> binding;
        if (f.has(1) && !hotkey(f.value[1], binding.emplace()))
            return false;

        SnapshotSummary& s = result.summary;
        const auto id = parseUuidStrict(QString::fromUtf8(idText.data(), qsizetype(idText.size())));
        const auto created = parseInternetDateTime(QString::fromUtf8(createdText.data(), qsizetype(createdText.size())));
        const auto updated = parseInternetDateTime(QString::fromUtf8(updatedText.data(), qsizetype(updatedText.size())));
        if (!id || !created || !updated)
            return false;
        s.id = *id;
        s.name = QString::fromUtf8(nameText.data(), qsizetype(nameText.size()));
        s.createdAt = *created;
        s.updatedAt = *updated;
        s.appCount = apps.size();
        std::sort(savedDisplays.begin(), savedDisplays.end());
        std::sort(windowDisplays.begin(), windowDisplays.end());
        windowDisplays.erase(std::unique(windowDisplays.begin(), windowDisplays.end()), windowDisplays.end());
        s.displayCount = std::count_if(windowDisplays.begin(), windowDisplays.end(), [&](std::uint32_t d) {
            return std::binary_search(savedDisplays.begin(), savedDisplays.end(), d);
        });
        s.windowCount = windowCount;
        s.hotkey = std::move(binding);
        return true;
    }
};

} // namespace

struct SnapshotSummaryScanner::Parser {
    simdjson::dom::parser parser;
    std::string padded; // for bytes without room after them
};

SnapshotSummaryScanner::SnapshotSummaryScanner() : m_parser(std::make_unique<Parser>()) {}
SnapshotSummaryScanner::~SnapshotSummaryScanner() = default;

SnapshotSummaryScanner::Reading SnapshotSummaryScanner::read(const QByteArray& document)
{
    Reading reading;
    std::string_view text(document.constData(), size_t(document.size()));
    // Qt's reader skips a byte-order mark; simdjson does not take one.
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    if (text.empty() || text.size() > simdjson::SIMDJSON_MAXSIZE_BYTES)
        return reading;

    const char* data = text.data();
    if (document.capacity() - document.size() <= padding) {
        m_parser->padded.assign(text);
        m_parser->padded.resize(text.size() + padding, ' ');
        data = m_parser->padded.data();
    }
    auto& parser = m_parser->parser;
    if (parser.capacity() < text.size() || parser.max_depth() != maximumDepth) {
        if (parser.allocate(std::max(text.size(), parser.capacity()), maximumDepth) != simdjson::SUCCESS)
            return reading;
    }
    element root;
    if (parser.parse(data, text.size(), false).get(root) != simdjson::SUCCESS)
        return reading; // refused by simdjson, perhaps not by Qt: the reader decides

    Walker walker;
    const bool ok = walker.layout(root, reading.result);
    if (walker.zeroDouble && hasNumberRoundingToZero(text))
        return reading;
    reading.verdict = ok ? Verdict::row : Verdict::refused;
    if (!ok)
        reading.result = {};
    return reading;
}

std::optional<SnapshotSummaryScanner::Result> SnapshotSummaryScanner::scan(const QByteArray& document)
{
    SnapshotSummaryScanner scanner;
    auto reading = scanner.read(document);
    if (reading.verdict != Verdict::row)
        return std::nullopt;
    return std::move(reading.result);
}

} // namespace zen
