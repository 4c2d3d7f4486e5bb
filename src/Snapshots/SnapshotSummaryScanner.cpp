#include "Snapshots/SnapshotSummaryScanner.h"

#include "Shared/InternetDateTime.h"
#include "Shared/Uuid.h"

#include "Snapshots/SnapshotLayoutJson.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

namespace zen {

namespace {

using layout_json::element;
using layout_json::element_type;

// What a row counts, gathered while the windows and displays are checked. The texts stay
// owned by the parser until the row is made.
class RowCounts {
public:
    void addWindow(std::string_view bundleIdentifier, std::optional<std::uint32_t> display)
    {
        ++m_windowCount;
        if (display)
            m_windowDisplays.push_back(*display);
        m_apps.insert(bundleIdentifier);
    }
    void addSavedDisplay(std::uint32_t id) { m_savedDisplays.push_back(id); }

    void fill(SnapshotSummary& s)
    {
        s.appCount = qsizetype(m_apps.size());
        std::sort(m_savedDisplays.begin(), m_savedDisplays.end());
        std::sort(m_windowDisplays.begin(), m_windowDisplays.end());
        m_windowDisplays.erase(std::unique(m_windowDisplays.begin(), m_windowDisplays.end()), m_windowDisplays.end());
        s.displayCount = std::count_if(m_windowDisplays.begin(), m_windowDisplays.end(), [&](std::uint32_t d) {
            return std::binary_search(m_savedDisplays.begin(), m_savedDisplays.end(), d);
        });
        s.windowCount = m_windowCount;
    }

private:
    std::unordered_set<std::string_view> m_apps;
    std::vector<std::uint32_t> m_savedDisplays;
    std::vector<std::uint32_t> m_windowDisplays;
    qsizetype m_windowCount = 0;
};

// The layout reader's checks, made on the parsed document without building the layout: every
// value is checked, but only those the row shows are converted.
class RowReader : public layout_json::FieldReader {
public:
    bool rect(const element& e, const layout_json::Keys<4>& keys)
    {
        Fields<4> f;
        return fields(e, keys, f) && number(f.value[0]) && number(f.value[1]) && number(f.value[2])
            && number(f.value[3]);
    }
    bool cgRect(const element& e) { return rect(e, layout_json::keys::rect); }

    bool hotkey(const element& e, HotkeyBinding& out)
    {
        Fields<3> f;
        std::string_view display;
        if (!fields(e, layout_json::keys::hotkey, f) || !text(f.value[0], &display) || !integer(f.value[1], &out.keyCode)
            || !integer(f.value[2], &out.modifiers))
            return false;
        out.displayString = qString(display);
        return true;
    }

    bool signature(const element& e)
    {
        Fields<7> f;
        return fields(e, layout_json::keys::signature, f) && text(f.value[0]) && cgRect(f.value[1])
            && optionalInteger<std::uint32_t>(f, 2) && optionalInteger<std::int32_t>(f, 3) && text(f.value[4])
            && optionalText(f, 5) && optionalText(f, 6);
    }

    bool window(const element& e, RowCounts& row)
    {
        Fields<14> f;
        std::string_view bundle;
        std::optional<std::uint32_t> display;
        if (!fields(e, layout_json::keys::window, f) || !text(f.value[0], &bundle)
            || !signature(f.value[1]) || !optionalInteger(f, 2, &display) || !cgRect(f.value[3]) || !uuid(f.value[4])
            || !boolean(f.value[5]) || !boolean(f.value[6]) || !boolean(f.value[7])
            || !rect(f.value[8], layout_json::keys::ratios)
            || !integer<std::int32_t>(f.value[9]) || !text(f.value[10]) || !optionalText(f, 11) || !optionalText(f, 12)
            || !optionalInteger<std::int64_t>(f, 13))
            return false;
        row.addWindow(bundle, display);
        return true;
    }

    bool display(const element& e, RowCounts& row)
    {
        Fields<9> f;
        std::uint32_t id = 0;
        if (!fields(e, layout_json::keys::display, f) || !number(f.value[0]) || !cgRect(f.value[1])
            || !integer(f.value[2], &id) || !boolean(f.value[3]) || !optionalText(f, 4)
            || !optionalInteger<std::uint32_t>(f, 5) || !optionalInteger<std::uint32_t>(f, 6)
            || !optionalInteger<std::uint32_t>(f, 7) || !cgRect(f.value[8]))
            return false;
        row.addSavedDisplay(id);
        return true;
    }

    bool displayState(const element& e, RowCounts& row)
    {
        Fields<3> f;
        if (!fields(e, layout_json::keys::displayState, f) || f.value[0].type() != element_type::ARRAY)
            return false;
        const simdjson::dom::array displays = f.value[0].get_array().value_unsafe();
        for (const element d : displays)
            if (!display(d, row))
                return false;
        return optionalInteger<std::uint32_t>(f, 1) && cgRect(f.value[2]);
    }

    bool layout(const element& e, SnapshotSummaryScanner::Result& result)
    {
        Fields<8> f;
        std::string_view idText, nameText, createdText, updatedText;
        if (!fields(e, layout_json::keys::layout, f) || !text(f.value[0], &createdText)
            || !text(f.value[2], &idText) || !text(f.value[3], &nameText) || !text(f.value[6], &updatedText)
            || !integer(f.value[4], &result.schemaVersion) || f.value[7].type() != element_type::ARRAY)
            return false;
        RowCounts row;
        if (!displayState(f.value[5], row))
            return false;
        const simdjson::dom::array windows = f.value[7].get_array().value_unsafe();
        for (const element w : windows)
            if (!window(w, row))
                return false;
        SnapshotSummary& s = result.summary;
        if (f.has(1) && !hotkey(f.value[1], s.hotkey.emplace()))
            return false;
        const auto id = parseUuidStrict(qString(idText));
        const auto created = parseInternetDateTime(qString(createdText));
        const auto updated = parseInternetDateTime(qString(updatedText));
        if (!id || !created || !updated)
            return false;
        s.id = *id;
        s.name = qString(nameText);
        s.createdAt = *created;
        s.updatedAt = *updated;
        row.fill(s);
        return true;
    }
};

} // namespace

struct SnapshotSummaryScanner::Parser {
    layout_json::Parser json;
};

SnapshotSummaryScanner::SnapshotSummaryScanner() : m_parser(std::make_unique<Parser>()) {}
SnapshotSummaryScanner::~SnapshotSummaryScanner() = default;

SnapshotSummaryScanner::Reading SnapshotSummaryScanner::read(const QByteArray& document)
{
    Reading reading;
    const auto root = m_parser->json.parse(document);
    if (!root)
        return reading; // refused by simdjson, perhaps not by Qt: the reader decides
    RowReader reader;
    const bool ok = reader.layout(*root, reading.result);
    if (reader.maybeRoundedZero && layout_json::hasNumberRoundingToZero(m_parser->json.text()))
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
