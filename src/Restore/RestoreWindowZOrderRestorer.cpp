#include "Restore/RestoreWindowZOrderRestorer.h"

#include "Shared/Uuid.h"

#include <algorithm>

namespace zen {

std::vector<RestoreWindowZOrderItem> RestoreWindowZOrderPlanner::raiseOrder(const std::vector<RestoreWindowZOrderItem>& items) const
{
    struct Keyed {
        std::int64_t hint;
        QString idText;
        const RestoreWindowZOrderItem* item;
    };
    std::vector<Keyed> keyed;
    for (const auto& item : items) {
        const WindowRecord& w = item.savedWindow;
        if (w.zOrderHint && !w.isMinimized && w.isVisible)
            keyed.push_back({*w.zOrderHint, uuidText(w.id), &item});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.hint != b.hint)
            return a.hint > b.hint;
        return a.idText > b.idText;
    });
    std::vector<RestoreWindowZOrderItem> order;
    order.reserve(keyed.size());
    for (const auto& k : keyed)
        order.push_back(*k.item);
    return order;
}

std::optional<RestoreWindowZOrderItem> RestoreWindowZOrderPlanner::frontmostItem(const std::vector<RestoreWindowZOrderItem>& items) const
{
    auto order = raiseOrder(items);
    if (order.empty())
        return std::nullopt;
    return std::move(order.back());
}

void RestoreWindowZOrderRestorer::restore(const std::vector<RestoreWindowZOrderItem>& items) const
{
    const auto order = planner.raiseOrder(items);
    if (order.empty() || !windowApplier)
        return;
    std::vector<const DiscoveredWindow*> windows;
    windows.reserve(order.size());
    for (const auto& item : order)
        windows.push_back(&item.liveWindow);
    windowApplier->raiseAll(windows);
    const auto& front = order.back();
    if (applicationActivator)
        applicationActivator->activate(front.processIdentifier);
    windowApplier->focus(front.liveWindow);
}

} // namespace zen
