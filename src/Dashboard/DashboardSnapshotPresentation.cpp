#include "Dashboard/DashboardSnapshotPresentation.h"

#include "Shared/Uuid.h"

#include <QCollator>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <map>
#include <numeric>
#include <unordered_set>
#include <utility>

namespace zen {

namespace {

std::unordered_set<std::uint32_t> savedDisplayIDs(const Snapshot& snapshot)
{
    std::unordered_set<std::uint32_t> ids;
    for (const DisplayRecord& display : snapshot.sourceDisplayState.displays)
        ids.insert(display.id);
    return ids;
}

bool isAssigned(const WindowRecord& window, const std::unordered_set<std::uint32_t>& displayIDs)
{
    return window.displayID && displayIDs.contains(*window.displayID);
}

// Frames with no positive width or height never take part in overlap tests; their raw size is
// checked, since a negative ratio would otherwise read as a positive standardized width.
// Neither do frames from ratios that are infinite or not numbers (a damaged file): an endless
// window would swallow every other one into its group.
bool hasArea(const CGRect& frame)
{
    return frame.isFinite() && frame.size.width > 0 && frame.size.height > 0;
}

std::atomic<std::uint64_t> overlapTests {0};

bool overlapsEnough(const CGRect& a, const CGRect& b, double threshold)
{
    overlapTests.fetch_add(1, std::memory_order_relaxed);
    if (!hasArea(a) || !hasArea(b))
        return false;
    const CGRect shared = a.intersected(b);
    if (shared.isEmpty())
        return false;
    const double smallerArea = std::min(a.width() * a.height(), b.width() * b.height());
    if (!(smallerArea > 0))
        return false;
    return shared.width() * shared.height() / smallerArea >= threshold;
}

} // namespace

std::uint64_t DashboardSnapshotPresentation::overlapTestCount()
{
    return overlapTests.load(std::memory_order_relaxed);
}

bool DashboardSnapshotPresentation::restoresBefore(const WindowRecord& a, const WindowRecord& b)
{
    if (a.zOrderHint && b.zOrderHint && *a.zOrderHint != *b.zOrderHint)
        return *a.zOrderHint < *b.zOrderHint;
    if (a.zOrderHint.has_value() != b.zOrderHint.has_value())
        return a.zOrderHint.has_value();
    return uuidTextLess(a.id, b.id);
}

std::vector<WindowRecord> DashboardSnapshotPresentation::windowsForDisplayList(std::vector<WindowRecord> windows)
{
    // Records are large: sort their places, then move each once.
    const std::vector<std::size_t> order = restoreOrder(windows);
    std::vector<WindowRecord> sorted;
    sorted.reserve(windows.size());
    for (const std::size_t i : order)
        sorted.push_back(std::move(windows[i]));
    return sorted;
}

int DashboardSnapshotPresentation::localizedStandardCompare(const QString& a, const QString& b)
{
    // Building a collator loads locale data; the dashboard sorts on every rebuild. The
    // collator's own numeric mode is not used: without a language (the C locale) Qt ignores it.
    thread_local const QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();

    const auto chunkEnd = [](const QString& text, qsizetype from) {
        const bool digits = text[from].isDigit();
        qsizetype end = from;
        while (end < text.size() && text[end].isDigit() == digits)
            ++end;
        return end;
    };
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        const qsizetype iEnd = chunkEnd(a, i);
        const qsizetype jEnd = chunkEnd(b, j);
        if (a[i].isDigit() && b[j].isDigit()) {
            // Runs of digits compare by value: leading zeros dropped, then more digits is more.
            qsizetype x = i;
            qsizetype y = j;
            while (x < iEnd - 1 && a[x].digitValue() == 0)
                ++x;
            while (y < jEnd - 1 && b[y].digitValue() == 0)
                ++y;
            if (iEnd - x != jEnd - y)
                return iEnd - x < jEnd - y ? -1 : 1;
            for (; x < iEnd; ++x, ++y) {
                if (a[x].digitValue() != b[y].digitValue())
                    return a[x].digitValue() < b[y].digitValue() ? -1 : 1;
            }
        } else if (const int byText = collator.compare(QStringView(a).sliced(i, iEnd - i), QStringView(b).sliced(j, jEnd - j));
                   byText != 0) {
            return byText;
        }
        i = iEnd;
        j = jEnd;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

std::vector<DashboardAppSummary> DashboardSnapshotPresentation::appSummaries(const Snapshot& snapshot,
                                                                             const IdentityResolver& identityResolver)
{
    // Groups in order of first appearance, so the later sort starts from a deterministic list.
    std::vector<std::pair<QString, std::vector<WindowRecord>>> groups;
    std::map<QString, std::size_t> groupIndex;
    for (const WindowRecord& window : snapshot.windows) {
        const auto [found, inserted] = groupIndex.try_emplace(window.bundleIdentifier, groups.size());
        if (inserted)
            groups.emplace_back(window.bundleIdentifier, std::vector<WindowRecord> {});
        groups[found->second].second.push_back(window);
    }

    std::vector<DashboardAppSummary> summaries;
    summaries.reserve(groups.size());
    for (auto& [bundleIdentifier, windows] : groups) {
        DashboardAppIdentity identity = identityResolver ? identityResolver(bundleIdentifier)
                                                         : DashboardAppIdentity {bundleIdentifier, bundleIdentifier, {}, {}};
        summaries.push_back({std::move(identity), windowsForDisplayList(std::move(windows))});
    }

    std::stable_sort(summaries.begin(), summaries.end(), [](const DashboardAppSummary& a, const DashboardAppSummary& b) {
        if (a.windowCount() != b.windowCount())
            return a.windowCount() > b.windowCount();
        if (const int byName = localizedStandardCompare(a.name(), b.name()); byName != 0)
            return byName < 0;
        return a.bundleIdentifier() < b.bundleIdentifier();
    });
    return summaries;
}

std::vector<DashboardInactiveAppSummary> DashboardSnapshotPresentation::inactiveAppSummaries(
    const Snapshot& snapshot, const QSet<QString>& runningBundleIdentifiers, const IdentityResolver& identityResolver)
{
    std::vector<DashboardInactiveAppSummary> inactive;
    for (DashboardAppSummary& summary : appSummaries(snapshot, identityResolver)) {
        if (!runningBundleIdentifiers.contains(summary.bundleIdentifier()))
            inactive.push_back({std::move(summary)});
    }
    return inactive;
}

QStringList DashboardSnapshotPresentation::inactiveAppsNotes(const std::vector<DashboardInactiveAppSummary>& inactive)
{
    // A name is one unbreakable word in a wrapped note: a long one would widen the whole pane.
    const auto shortened = [](const QString& name) {
        constexpr qsizetype half = 24;
        if (name.size() <= 2 * half + 1)
            return name;
        qsizetype head = half, tail = half;
        if (name.at(head - 1).isHighSurrogate())
            --head;
        if (name.at(name.size() - tail).isLowSurrogate())
            --tail;
        return name.left(head) + QChar(0x2026) + name.right(tail);
    };
    QStringList unopenable;
    for (const DashboardInactiveAppSummary& app : inactive)
        if (!app.identity().hasDesktopEntry)
            unopenable << shortened(app.name());
    QStringList notes;
    if (unopenable.size() < qsizetype(inactive.size()))
        notes << QStringLiteral("Zentharion will try to open these apps before restoring. If an app does not open, its "
                                "saved windows may be skipped.");
    if (unopenable.size() == 1)
        notes << QStringLiteral("%1 has no desktop entry, so Zentharion cannot open it: open it yourself before "
                                "restoring, or its saved windows are skipped.")
                     .arg(unopenable.first());
    else if (unopenable.size() > 1)
        notes << QStringLiteral("%1 have no desktop entry, so Zentharion cannot open them: open them yourself before "
                                "restoring, or their saved windows are skipped.")
                     .arg(unopenable.join(QStringLiteral(", ")));
    return notes;
}

std::vector<WindowRecord> DashboardSnapshotPresentation::unassignedWindows(const Snapshot& snapshot)
{
    const auto displayIDs = savedDisplayIDs(snapshot);
    std::vector<WindowRecord> unassigned;
    for (const WindowRecord& window : snapshot.windows) {
        if (!isAssigned(window, displayIDs))
            unassigned.push_back(window);
    }
    return unassigned;
}

std::vector<DashboardDisplayPreviewModel> DashboardSnapshotPresentation::displayPreviewModels(const Snapshot& snapshot)
{
    // Each window copied once, straight into its display's group.
    const auto displayIDs = savedDisplayIDs(snapshot);
    std::map<std::uint32_t, std::vector<WindowRecord>> byDisplay;
    for (const WindowRecord& window : snapshot.windows) {
        if (isAssigned(window, displayIDs))
            byDisplay[*window.displayID].push_back(window);
    }

    std::vector<DashboardDisplayPreviewModel> models;
    for (const DisplayRecord& display : snapshot.sourceDisplayState.displays) {
        const auto group = byDisplay.find(display.id);
        if (group == byDisplay.end() || group->second.empty())
            continue;
        models.push_back({display, std::move(group->second)});
        // A display id saved twice gets one card: its windows are now moved out.
        byDisplay.erase(group);
    }
    return models;
}

std::optional<QString> DashboardSnapshotPresentation::displayPreviewEmptyMessage(const Snapshot& snapshot)
{
    if (snapshot.sourceDisplayState.displays.empty())
        return QStringLiteral("No displays were saved in this layout.");
    if (displayPreviewModels(snapshot).empty())
        return QStringLiteral("No saved windows are assigned to saved displays.");
    return std::nullopt;
}

CGRect DashboardSnapshotPresentation::previewFrame(const WindowRecord& window, const CGRect& displayFrame)
{
    const NormalizedRect& n = window.normalizedFrame;
    return CGRect(displayFrame.minX() + n.xRatio * displayFrame.width(),
                  displayFrame.minY() + n.yRatio * displayFrame.height(),
                  n.widthRatio * displayFrame.width(),
                  n.heightRatio * displayFrame.height());
}

CGRect DashboardSnapshotPresentation::previewFrame(const WindowRecord& window, const DisplayRecord& display)
{
    return previewFrame(window, display.frameRect());
}

namespace {

// The overlap group of each of the windows at the places `order` (restore order) gives. Groups
// are numbered in the order their front-most members come: a window starting a group gets the
// next number.
std::vector<std::size_t> overlapGroupIndices(const std::vector<WindowRecord>& windows,
                                             const std::vector<std::size_t>& order, const CGRect& displayFrame,
                                             double overlapThreshold)
{
    std::vector<CGRect> frames;
    frames.reserve(order.size());
    for (const std::size_t i : order)
        frames.push_back(DashboardSnapshotPresentation::previewFrame(windows[i], displayFrame));
    std::vector<std::size_t> groupOf;
    groupOf.reserve(frames.size());
    std::size_t groupCount = 0;
    // Comparing each window with every earlier one takes seconds for a few thousand windows.
    // Only windows that share a cell of a coarse grid can overlap: each cell remembers which
    // groups have members in it, so a window is compared with its neighbours only, earliest
    // group first, and stops at the first group it joins. Windows spanning many cells are kept
    // in one list instead of in every cell they cover.
    CGRect bounds;
    bool hasBounds = false;
    for (const CGRect& frame : frames) {
        if (!hasArea(frame))
            continue;
        bounds = hasBounds ? bounds.united(frame) : frame;
        hasBounds = true;
    }
    const int side = std::clamp(int(std::ceil(std::sqrt(double(frames.size())) / 2)), 1, 32);
    constexpr int largeCellCount = 16;
    using Range = std::array<int, 4>;
    const auto cellRange = [&](const CGRect& frame) {
        const auto cell = [&](double value, double origin, double length) {
            const double at = length > 0 ? (value - origin) / length * side : 0;
            return std::clamp(int(std::floor(at)), 0, side - 1);
        };
        return Range {cell(frame.minX(), bounds.minX(), bounds.width()),
                      cell(frame.minY(), bounds.minY(), bounds.height()),
                      cell(frame.maxX(), bounds.minX(), bounds.width()),
                      cell(frame.maxY(), bounds.minY(), bounds.height())};
    };
    const auto cellCount = [](const Range& r) { return (r[2] - r[0] + 1) * (r[3] - r[1] + 1); };
    // Per cell: the groups with a member there, ascending, each with where those members are. A
    // cell holds few groups: a sorted vector finds them faster than hashing.
    struct CellGroup {
        std::size_t group;
        std::vector<std::uint32_t> members; // places in `frames`
    };
    std::vector<std::vector<CellGroup>> cells(std::size_t(side * side));
    const auto byGroup = [](const CellGroup& entry, std::size_t group) { return entry.group < group; };
    const auto membersIn = [&](std::size_t cell, std::size_t group) -> const std::vector<std::uint32_t>* {
        const auto& entries = cells[cell];
        const auto at = std::lower_bound(entries.begin(), entries.end(), group, byGroup);
        return at != entries.end() && at->group == group ? &at->members : nullptr;
    };
    // Groups with large members, ascending, and those members by group.
    std::vector<std::size_t> largeGroups;
    std::vector<std::vector<std::uint32_t>> largeMembers;
    const auto anyOverlaps = [&](const CGRect& frame, const std::vector<std::uint32_t>& members) {
        return std::any_of(members.begin(), members.end(), [&](std::uint32_t member) {
            return overlapsEnough(frame, frames[member], overlapThreshold);
        });
    };

    std::vector<std::size_t> candidates;
    // The last window that listed each group as a candidate: each is listed once.
    std::vector<std::size_t> listedFor;
    for (std::size_t w = 0; w < frames.size(); ++w) {
        const CGRect& frame = frames[w];
        std::optional<std::size_t> joined;
        Range range {};
        if (hasArea(frame)) {
            range = cellRange(frame);
            for (const std::size_t group : largeGroups) {
                if (anyOverlaps(frame, largeMembers[group])) {
                    joined = group;
                    break;
                }
            }
            // An earlier group among the neighbours still wins over a large window's group.
            if (!joined || *joined > 0) {
                candidates.clear();
                listedFor.resize(groupCount, frames.size());
                for (int y = range[1]; y <= range[3]; ++y)
                    for (int x = range[0]; x <= range[2]; ++x) {
                        for (const CellGroup& entry : cells[std::size_t(y * side + x)]) {
                            if (std::exchange(listedFor[entry.group], w) != w)
                                candidates.push_back(entry.group);
                        }
                    }
                std::sort(candidates.begin(), candidates.end());
                for (const std::size_t group : candidates) {
                    if (joined && group >= *joined)
                        break;
                    bool found = false;
                    for (int y = range[1]; y <= range[3] && !found; ++y)
                        for (int x = range[0]; x <= range[2] && !found; ++x) {
                            const std::vector<std::uint32_t>* members = membersIn(std::size_t(y * side + x), group);
                            found = members && anyOverlaps(frame, *members);
                        }
                    if (found) {
                        joined = group;
                        break;
                    }
                }
            }
        }
        const std::size_t group = joined.value_or(groupCount);
        if (!joined)
            ++groupCount;
        groupOf.push_back(group);
        if (!hasArea(frame))
            continue;
        if (cellCount(range) > largeCellCount) {
            if (const auto at = std::lower_bound(largeGroups.begin(), largeGroups.end(), group);
                at == largeGroups.end() || *at != group)
                largeGroups.insert(at, group);
            if (largeMembers.size() <= group)
                largeMembers.resize(group + 1);
            largeMembers[group].push_back(std::uint32_t(w));
            continue;
        }
        for (int y = range[1]; y <= range[3]; ++y)
            for (int x = range[0]; x <= range[2]; ++x) {
                auto& entries = cells[std::size_t(y * side + x)];
                auto at = std::lower_bound(entries.begin(), entries.end(), group, byGroup);
                if (at == entries.end() || at->group != group)
                    at = entries.insert(at, CellGroup {group, {}});
                at->members.push_back(std::uint32_t(w));
            }
    }

    return groupOf;
}

} // namespace

std::vector<std::size_t> DashboardSnapshotPresentation::restoreOrder(const std::vector<WindowRecord>& windows)
{
    std::vector<std::size_t> order(windows.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&windows](std::size_t a, std::size_t b) { return restoresBefore(windows[a], windows[b]); });
    return order;
}

std::vector<DashboardWindowPreviewGroup> DashboardSnapshotPresentation::windowPreviewGroups(
    const std::vector<WindowRecord>& windows, std::uint32_t displayID, const CGRect& displayFrame,
    double overlapThreshold)
{
    const std::vector<std::size_t> order = restoreOrder(windows);
    const std::vector<std::size_t> groupOf = overlapGroupIndices(windows, order, displayFrame, overlapThreshold);
    std::vector<DashboardWindowPreviewGroup> result;
    for (std::size_t w = 0; w < order.size(); ++w) {
        if (groupOf[w] == result.size())
            result.push_back({displayID, {}, displayFrame});
        result[groupOf[w]].windows.push_back(windows[order[w]]);
    }
    return result;
}

std::vector<std::size_t> DashboardSnapshotPresentation::previewGroupFronts(const std::vector<WindowRecord>& windows,
                                                                           const std::vector<std::size_t>& order,
                                                                           const CGRect& displayFrame,
                                                                           double overlapThreshold)
{
    const std::vector<std::size_t> groupOf = overlapGroupIndices(windows, order, displayFrame, overlapThreshold);
    std::vector<std::size_t> fronts;
    for (std::size_t w = 0; w < order.size(); ++w) {
        if (groupOf[w] == fronts.size())
            fronts.push_back(order[w]);
    }
    return fronts;
}

} // namespace zen
