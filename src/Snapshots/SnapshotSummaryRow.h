#pragma once

// What both readings of a list row gather while they check a document, and how the row is
// made from it. Internal to the summary scanner: free of simdjson, so that a reading compiled
// for another instruction set shares this code instead of a copy built for that set.

#include "Snapshots/SnapshotSummaryScanner.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace zen::summary_row {

class Builder {
public:
    Builder();
    ~Builder();
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;

    // The texts stay owned by the parser until `finish`.
    void addWindow(std::string_view bundleIdentifier, std::optional<std::uint32_t> display);
    void addSavedDisplay(std::uint32_t id) { m_savedDisplays.push_back(id); }
    qsizetype windowCount() const { return m_windowCount; }

    struct Texts {
        std::string_view id, name, createdAt, updatedAt;
    };
    // The row, or false when the id or a date is not what the reader takes.
    bool finish(const Texts& texts, std::optional<HotkeyBinding> hotkey, SnapshotSummaryScanner::Result& result);

private:
    std::vector<std::string_view> m_apps; // distinct; few in practice, searched in order
    std::unordered_set<std::string_view> m_manyApps; // all of them, once there are many
    std::vector<std::uint32_t> m_savedDisplays;
    std::vector<std::uint32_t> m_windowDisplays;
    qsizetype m_windowCount = 0;
};

inline QString qString(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace zen::summary_row
