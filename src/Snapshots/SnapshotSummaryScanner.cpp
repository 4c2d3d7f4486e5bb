#include "Snapshots/SnapshotSummaryScanner.h"

#include "Shared/InternetDateTime.h"
#include "Shared/Uuid.h"

#include "Snapshots/SnapshotLayoutJson.h"

#include <algorithm>
#include <bit>
#include <unordered_set>
#include <vector>

namespace zen {

static_assert(SnapshotSummaryScanner::padding >= layout_json::padding);

namespace {

using namespace layout_json;

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

// Keys looked for in an object, with the first eight bytes of each as a number: most keys
// are that short, and one comparison of words replaces a loop over bytes.
template <size_t N>
struct KeyTable {
    std::array<std::string_view, N> text;
    std::array<std::uint64_t, N> head {};

    constexpr explicit KeyTable(const std::array<std::string_view, N>& keys) : text(keys)
    {
        for (size_t k = 0; k < N; ++k)
            head[k] = headOf(keys[k]);
    }
    static constexpr std::uint64_t headOf(std::string_view s)
    {
        std::uint64_t h = 0;
        for (size_t i = 0; i < s.size() && i < 8; ++i)
            h |= std::uint64_t(static_cast<unsigned char>(s[i])) << (8 * i);
        return h;
    }
};

// The checks of the layout reader, made straight on the tape simdjson parses a document
// into: one word per value (two for a number), the type in the top byte. Going through
// simdjson's element API built and copied a handle per value and took as long as the parse;
// a row needs only a few values, but every one must be checked. Of a repeated key the last one
// counts, as in the reader; a null optional value means absent, a null required one is
// missing.
class Walker {
public:
    explicit Walker(const simdjson::dom::document& document)
        : m_tape(document.tape.get()), m_strings(document.string_buf.get())
    {
    }

    static constexpr size_t root = 1; // after the word that opens the tape

    bool zeroDouble = false;

    // Positions on the tape of the last value of each key; 0, the tape's first word, for none.
    template <size_t N>
    struct Fields {
        std::array<size_t, N> at {};
    };

    char type(size_t i) const { return char(m_tape[i] >> 56); }
    std::uint64_t payload(size_t i) const { return m_tape[i] & 0x00FFFFFFFFFFFFFFu; }
    // Where the value after the one at `i` starts. Without a branch on the type: values of
    // every type follow each other in a window, and the mispredicted jumps showed.
    size_t next(size_t i) const
    {
        static constexpr auto words = [] {
            std::array<std::uint8_t, 256> table {};
            table.fill(1);
            table['l'] = table['u'] = table['d'] = 2;
            table['{'] = table['['] = 0; // to the word after the closing one, in the payload
            return table;
        }();
        const std::uint64_t word = m_tape[i];
        const std::uint8_t n = words[word >> 56];
        return n ? i + n : size_t(std::uint32_t(word));
    }
    std::string_view string(size_t i) const
    {
        const std::uint8_t* s = m_strings + payload(i);
        std::uint32_t length;
        std::memcpy(&length, s, sizeof length);
        return {reinterpret_cast<const char*>(s + sizeof length), length};
    }
    double doubleAt(size_t i) const { return std::bit_cast<double>(m_tape[i + 1]); }

    template <size_t N>
    bool has(const Fields<N>& f, size_t k) const
    {
        // The bound keeps the copies for each N apart, which the compiler would fold into one
        // and then warn about its own merge.
        return k < N && f.at[k] != 0 && type(f.at[k]) != 'n';
    }
    template <size_t N>
    bool all(const Fields<N>& f, std::initializer_list<size_t> required) const
    {
        for (size_t k : required)
            if (!has(f, k))
                return false;
        return true;
    }

    // The last value of each key of `keys` in the object at `i`; false when it is no object.
    template <size_t N>
    bool fields(size_t i, const KeyTable<N>& keys, Fields<N>& out) const
    {
        if (type(i) != '{')
            return false;
        const size_t end = next(i) - 1; // its closing word
        size_t hint = 0;
        for (size_t j = i + 1; j < end; j = next(j + 1)) {
            const std::string_view key = string(j);
            // simdjson leaves room after every string of a document, so eight bytes can be read.
            std::uint64_t head;
            std::memcpy(&head, key.data(), sizeof head);
            if (key.size() < 8)
                head &= (std::uint64_t(1) << (8 * key.size())) - 1;
            // Our own files keep keys sorted, as the tables are: the next key is usually the next entry.
            size_t k = hint, tried = 0;
            for (; tried < N; ++tried, k = k + 1 == N ? 0 : k + 1)
                if (head == keys.head[k] && key.size() == keys.text[k].size()
                    && (key.size() <= 8 || layout_json::FieldReader::sameKey(keys.text[k], key)))
                    break;
            if (tried == N)
                continue;
            out.at[k] = j + 1;
            hint = k + 1 == N ? 0 : k + 1;
        }
        return true;
    }

    bool number(size_t i)
    {
        switch (type(i)) {
        case 'd':
            if (doubleAt(i) == 0)
                zeroDouble = true;
            return true;
        case 'l':
        case 'u': return true;
        default: return false;
        }
    }

    // Qt keeps a number written as a plain integer exactly and any other as a double, which
    // counts as an integer when it is whole and within 64 bits.
    template <typename Int>
    bool integer(size_t i, Int* out = nullptr)
    {
        std::int64_t value = 0;
        switch (type(i)) {
        case 'l': value = std::int64_t(m_tape[i + 1]); break;
        case 'd': {
            const double d = doubleAt(i);
            if (d == 0)
                zeroDouble = true;
            if (!wholeDouble(d, &value))
                return false;
            break;
        }
        default: return false; // 'u' is beyond 63 bits: beyond every field's range
        }
        if (!fitsIn<Int>(value))
            return false;
        if (out)
            *out = Int(value);
        return true;
    }
    template <typename Int, size_t N>
    bool optionalInteger(const Fields<N>& f, size_t k, std::optional<Int>* out = nullptr)
    {
        if (!has(f, k))
            return true;
        Int value {};
        if (!integer(f.at[k], &value))
            return false;
        if (out)
            *out = value;
        return true;
    }

    bool text(size_t i, std::string_view* out = nullptr) const
    {
        if (type(i) != '"')
            return false;
        if (out)
            *out = string(i);
        return true;
    }
    template <size_t N>
    bool optionalText(const Fields<N>& f, size_t k) const
    {
        return !has(f, k) || type(f.at[k]) == '"';
    }
    bool boolean(size_t i) const { return type(i) == 't' || type(i) == 'f'; }

    // Whether all eight bytes are hexadecimal digits, either case. Below 0x80, adding
    // 0x80 - n to a byte sets its top bit exactly when it is at least n, with no carry into
    // the next byte.
    static bool hexDigits(std::uint64_t x)
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

    // What parseUuidStrict takes: 8-4-4-4-12 hexadecimal digits, either case.
    bool uuid(size_t i) const
    {
        std::string_view s;
        if (!text(i, &s) || s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-')
            return false;
        // Eight digits at a time: one id per window of every file listed, it showed in the
        // listing's time when checked byte by byte.
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

    bool rect(size_t i, const KeyTable<4>& keys)
    {
        Fields<4> f;
        if (!fields(i, keys, f) || !all(f, {0, 1, 2, 3}))
            return false;
        return number(f.at[0]) && number(f.at[1]) && number(f.at[2]) && number(f.at[3]);
    }
    bool cgRect(size_t i)
    {
        static constexpr KeyTable<4> keys {std::array<std::string_view, 4> {"height", "width", "x", "y"}};
        return rect(i, keys);
    }

    bool hotkey(size_t i, HotkeyBinding& out)
    {
        static constexpr KeyTable<3> keys {std::array<std::string_view, 3> {"displayString", "keyCode", "modifiers"}};
        Fields<3> f;
        std::string_view display;
        if (!fields(i, keys, f) || !all(f, {0, 1, 2}) || !text(f.at[0], &display) || !integer(f.at[1], &out.keyCode)
            || !integer(f.at[2], &out.modifiers))
            return false;
        out.displayString = QString::fromUtf8(display.data(), qsizetype(display.size()));
        return true;
    }

    bool signature(size_t i)
    {
        static constexpr KeyTable<7> keys {std::array<std::string_view, 7> {"bundleIdentifier", "capturedFrame", "cgWindowID",
                                                                "owningPid", "role", "subrole", "windowTitle"}};
        Fields<7> f;
        return fields(i, keys, f) && all(f, {0, 1, 4}) && text(f.at[0]) && cgRect(f.at[1])
            && optionalInteger<std::uint32_t>(f, 2) && optionalInteger<std::int32_t>(f, 3) && text(f.at[4])
            && optionalText(f, 5) && optionalText(f, 6);
    }

    bool window(size_t i, DistinctTexts& apps, std::vector<std::uint32_t>& windowDisplays)
    {
        static constexpr KeyTable<14> keys {std::array<std::string_view, 14> {
            "bundleIdentifier", "captureSignature", "displayID", "frame", "id", "isFullscreen", "isMinimized",
            "isVisible", "normalizedFrame", "pidAtCapture", "role", "subrole", "windowTitle", "zOrderHint"}};
        static constexpr KeyTable<4> ratioKeys {std::array<std::string_view, 4> {"heightRatio", "widthRatio", "xRatio", "yRatio"}};
        Fields<14> f;
        std::string_view bundle;
        std::optional<std::uint32_t> display;
        if (!fields(i, keys, f) || !all(f, {0, 1, 3, 4, 5, 6, 7, 8, 9, 10}) || !text(f.at[0], &bundle)
            || !signature(f.at[1]) || !optionalInteger(f, 2, &display) || !cgRect(f.at[3]) || !uuid(f.at[4])
            || !boolean(f.at[5]) || !boolean(f.at[6]) || !boolean(f.at[7]) || !rect(f.at[8], ratioKeys)
            || !integer<std::int32_t>(f.at[9]) || !text(f.at[10]) || !optionalText(f, 11) || !optionalText(f, 12)
            || !optionalInteger<std::int64_t>(f, 13))
            return false;
        apps.insert(bundle);
        if (display)
            windowDisplays.push_back(*display);
        return true;
    }

    bool display(size_t i, std::vector<std::uint32_t>& savedDisplays)
    {
        static constexpr KeyTable<9> keys {std::array<std::string_view, 9> {"backingScaleFactor", "frame", "id", "isPrimary",
                                                                "localizedName", "productID", "serialNumber",
                                                                "vendorID", "visibleFrame"}};
        Fields<9> f;
        std::uint32_t id = 0;
        if (!fields(i, keys, f) || !all(f, {0, 1, 2, 3, 8}) || !number(f.at[0]) || !cgRect(f.at[1])
            || !integer(f.at[2], &id) || !boolean(f.at[3]) || !optionalText(f, 4)
            || !optionalInteger<std::uint32_t>(f, 5) || !optionalInteger<std::uint32_t>(f, 6)
            || !optionalInteger<std::uint32_t>(f, 7) || !cgRect(f.at[8]))
            return false;
        savedDisplays.push_back(id);
        return true;
    }

    bool displayState(size_t i, std::vector<std::uint32_t>& savedDisplays)
    {
        static constexpr KeyTable<3> keys {std::array<std::string_view, 3> {"displays", "primaryDisplayID", "virtualDesktopBounds"}};
        Fields<3> f;
        if (!fields(i, keys, f) || !all(f, {0, 2}) || type(f.at[0]) != '[')
            return false;
        const size_t end = next(f.at[0]) - 1;
        for (size_t d = f.at[0] + 1; d < end; d = next(d))
            if (!display(d, savedDisplays))
                return false;
        return optionalInteger<std::uint32_t>(f, 1) && cgRect(f.at[2]);
    }

    bool layout(SnapshotSummaryScanner::Result& result)
    {
        static constexpr KeyTable<8> keys {std::array<std::string_view, 8> {"createdAt", "hotkey", "id", "name", "schemaVersion",
                                                                "sourceDisplayState", "updatedAt", "windows"}};
        Fields<8> f;
        std::string_view idText, nameText, createdText, updatedText;
        if (!fields(root, keys, f) || !all(f, {0, 2, 3, 4, 5, 6, 7}) || !text(f.at[0], &createdText)
            || !text(f.at[2], &idText) || !text(f.at[3], &nameText) || !text(f.at[6], &updatedText)
            || !integer(f.at[4], &result.schemaVersion))
            return false;
        std::vector<std::uint32_t> savedDisplays;
        if (!displayState(f.at[5], savedDisplays) || type(f.at[7]) != '[')
            return false;
        DistinctTexts apps;
        std::vector<std::uint32_t> windowDisplays;
        qsizetype windowCount = 0;
        const size_t end = next(f.at[7]) - 1;
        for (size_t w = f.at[7] + 1; w < end; w = next(w)) {
            if (!window(w, apps, windowDisplays))
                return false;
            ++windowCount;
        }
        std::optional<HotkeyBinding> binding;
        if (has(f, 1) && !hotkey(f.at[1], binding.emplace()))
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

private:
    const std::uint64_t* m_tape;
    const std::uint8_t* m_strings;
};

} // namespace

struct SnapshotSummaryScanner::Parser : layout_json::Parser {};

SnapshotSummaryScanner::SnapshotSummaryScanner() : m_parser(std::make_unique<Parser>()) {}
SnapshotSummaryScanner::~SnapshotSummaryScanner() = default;

SnapshotSummaryScanner::Reading SnapshotSummaryScanner::read(const QByteArray& document)
{
    Reading reading;
    const auto root = m_parser->parse(document);
    if (!root)
        return reading; // refused by simdjson, perhaps not by Qt: the reader decides
    Walker walker(m_parser->document());
    const bool ok = walker.layout(reading.result);
    if (walker.zeroDouble && hasNumberRoundingToZero(m_parser->text()))
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
