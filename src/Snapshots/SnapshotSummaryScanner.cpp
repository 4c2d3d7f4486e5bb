#include "Snapshots/SnapshotSummaryScanner.h"

#include "Shared/InternetDateTime.h"
#include "Shared/Uuid.h"

#include "Snapshots/SnapshotLayoutJson.h"

#include <algorithm>
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

// The checks of the layout reader, on simdjson's parsed document. Of a repeated key the last
// one counts, as in the reader; a null optional value means absent, a null required one is
// missing.
class Walker : public FieldReader {
public:
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

struct SnapshotSummaryScanner::Parser : layout_json::Parser {};

SnapshotSummaryScanner::SnapshotSummaryScanner() : m_parser(std::make_unique<Parser>()) {}
SnapshotSummaryScanner::~SnapshotSummaryScanner() = default;

SnapshotSummaryScanner::Reading SnapshotSummaryScanner::read(const QByteArray& document)
{
    Reading reading;
    const auto root = m_parser->parse(document);
    if (!root)
        return reading; // refused by simdjson, perhaps not by Qt: the reader decides
    Walker walker;
    const bool ok = walker.layout(*root, reading.result);
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
