#include "Snapshots/SnapshotSummaryScanner.h"

#include "Shared/InternetDateTime.h"
#include "Shared/Uuid.h"

#include "Snapshots/SnapshotLayoutJson.h"
#include "Snapshots/SnapshotSummaryRow.h"
#include "Snapshots/SnapshotSummaryScannerVector.h"

#include <algorithm>
#include <bit>
#include <vector>

namespace zen {

static_assert(SnapshotSummaryScanner::padding >= layout_json::padding);

namespace summary_row {

Builder::Builder() = default;
Builder::~Builder() = default;

void Builder::addWindow(std::string_view bundleIdentifier, std::optional<std::uint32_t> display)
{
    ++m_windowCount;
    if (display)
        m_windowDisplays.push_back(*display);
    if (!m_manyApps.empty()) {
        m_manyApps.insert(bundleIdentifier);
        return;
    }
    if (std::find(m_apps.begin(), m_apps.end(), bundleIdentifier) != m_apps.end())
        return;
    m_apps.push_back(bundleIdentifier);
    if (m_apps.size() > 32)
        m_manyApps.insert(m_apps.begin(), m_apps.end());
}

bool Builder::finish(const Texts& texts, std::optional<HotkeyBinding> hotkey, SnapshotSummaryScanner::Result& result)
{
    const auto id = parseUuidStrict(qString(texts.id));
    const auto created = parseInternetDateTime(qString(texts.createdAt));
    const auto updated = parseInternetDateTime(qString(texts.updatedAt));
    if (!id || !created || !updated)
        return false;
    SnapshotSummary& s = result.summary;
    s.id = *id;
    s.name = qString(texts.name);
    s.createdAt = *created;
    s.updatedAt = *updated;
    s.appCount = qsizetype(m_manyApps.empty() ? m_apps.size() : m_manyApps.size());
    std::sort(m_savedDisplays.begin(), m_savedDisplays.end());
    std::sort(m_windowDisplays.begin(), m_windowDisplays.end());
    m_windowDisplays.erase(std::unique(m_windowDisplays.begin(), m_windowDisplays.end()), m_windowDisplays.end());
    s.displayCount = std::count_if(m_windowDisplays.begin(), m_windowDisplays.end(), [&](std::uint32_t d) {
        return std::binary_search(m_savedDisplays.begin(), m_savedDisplays.end(), d);
    });
    s.windowCount = m_windowCount;
    s.hotkey = std::move(hotkey);
    return true;
}

} // namespace summary_row

namespace {

using namespace layout_json;

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

    // A floating-point zero, or a value passed over unread; see FieldReader.
    bool maybeRoundedZero = false;

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
    bool fields(size_t i, const KeyTable<N>& keys, Fields<N>& out)
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
            if (tried == N || out.at[k] != 0)
                maybeRoundedZero = true;
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
                maybeRoundedZero = true;
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
                maybeRoundedZero = true;
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

    bool uuid(size_t i) const
    {
        std::string_view s;
        return text(i, &s) && uuidText(s);
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
        out.displayString = summary_row::qString(display);
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

    bool window(size_t i, summary_row::Builder& row)
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
        row.addWindow(bundle, display);
        return true;
    }

    bool display(size_t i, summary_row::Builder& row)
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
        row.addSavedDisplay(id);
        return true;
    }

    bool displayState(size_t i, summary_row::Builder& row)
    {
        static constexpr KeyTable<3> keys {std::array<std::string_view, 3> {"displays", "primaryDisplayID", "virtualDesktopBounds"}};
        Fields<3> f;
        if (!fields(i, keys, f) || !all(f, {0, 2}) || type(f.at[0]) != '[')
            return false;
        const size_t end = next(f.at[0]) - 1;
        for (size_t d = f.at[0] + 1; d < end; d = next(d))
            if (!display(d, row))
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
        summary_row::Builder row;
        if (!displayState(f.at[5], row) || type(f.at[7]) != '[')
            return false;
        const size_t end = next(f.at[7]) - 1;
        for (size_t w = f.at[7] + 1; w < end; w = next(w))
            if (!window(w, row))
                return false;
        std::optional<HotkeyBinding> binding;
        if (has(f, 1) && !hotkey(f.at[1], binding.emplace()))
            return false;
        return row.finish({idText, nameText, createdText, updatedText}, std::move(binding), result);
    }

private:
    const std::uint64_t* m_tape;
    const std::uint8_t* m_strings;
};

} // namespace

namespace summary_vector {

bool runsHere()
{
    static const bool runs = [] {
        const simdjson::implementation* haswell = simdjson::get_available_implementations()["haswell"];
        return haswell && haswell->supported_by_runtime_system();
    }();
    return runs;
}

} // namespace summary_vector

struct SnapshotSummaryScanner::Parser {
    layout_json::Parser tape;
    summary_vector::ReaderPointer vector;
};

SnapshotSummaryScanner::SnapshotSummaryScanner(Method how) : m_parser(std::make_unique<Parser>())
{
    if (how == Method::fastest && summary_vector::runsHere())
        m_parser->vector = summary_vector::makeReader();
}
SnapshotSummaryScanner::~SnapshotSummaryScanner() = default;

bool SnapshotSummaryScanner::readsInOnePass() const
{
    return m_parser->vector != nullptr;
}

SnapshotSummaryScanner::Reading SnapshotSummaryScanner::read(const QByteArray& document)
{
    Reading reading;
    if (m_parser->vector) {
        std::string_view text(document.constData(), size_t(document.size()));
        // Qt's reader skips a byte-order mark; simdjson does not take one.
        const size_t mark = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
        text.remove_prefix(mark);
        const size_t readable = size_t(document.size() + spareBytesAfter(document)) - mark;
        if (summary_vector::read(*m_parser->vector, text, readable, reading.result)) {
            reading.verdict = Verdict::row;
            reading.onePass = true;
            return reading;
        }
        reading.result = {};
    }
    const auto root = m_parser->tape.parse(document);
    if (!root)
        return reading; // refused by simdjson, perhaps not by Qt: the reader decides
    Walker walker(m_parser->tape.document());
    const bool ok = walker.layout(reading.result);
    if (walker.maybeRoundedZero && hasNumberRoundingToZero(m_parser->tape.text()))
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
