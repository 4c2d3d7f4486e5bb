#include "Dashboard/DashboardDisplayWindowList.h"

#include "Dashboard/DashboardAppIdentityResolver.h"
#include "Dashboard/DashboardDisplayWindowRow.h"
#include "Dashboard/DashboardSnapshotPresentation.h"
#include "Shared/Uuid.h"

#include <QAction>
#include <QHash>
#include <QSet>
#include <QVBoxLayout>

#include <algorithm>

namespace zen {

namespace {

std::vector<QUuid> idsOf(const std::vector<WindowRecord>& windows)
{
    std::vector<QUuid> ids;
    ids.reserve(windows.size());
    for (const WindowRecord& window : windows)
        ids.push_back(window.id);
    return ids;
}

std::vector<std::optional<std::int64_t>> hintsOf(const std::vector<WindowRecord>& windows)
{
    std::vector<std::optional<std::int64_t>> hints;
    hints.reserve(windows.size());
    for (const WindowRecord& window : windows)
        hints.push_back(window.zOrderHint);
    return hints;
}

} // namespace

DashboardDisplayWindowList::DashboardDisplayWindowList(std::uint32_t displayID, std::vector<WindowRecord> windows,
                                                       DashboardAppIdentityResolver& appIdentityResolver,
                                                       RemoveWindow removeWindow, ReorderWindows reorderWindows,
                                                       QWidget* parent)
    : QWidget(parent)
    , m_displayID(displayID)
    , m_windows(std::move(windows))
    , m_resolver(appIdentityResolver)
    , m_removeWindow(std::move(removeWindow))
    , m_reorderWindows(std::move(reorderWindows))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->setSpacing(7);

    // Keyboard moves of the focused row.
    const auto addMoveKey = [this](const QKeySequence& keys, int offset) {
        auto* action = new QAction(this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, [this, offset] {
            for (DashboardDisplayWindowRow* row : m_rows) {
                if (row->hasFocus()) {
                    QAction* move = offset < 0 ? row->moveEarlierAction() : row->moveLaterAction();
                    if (move->isEnabled())
                        move->trigger();
                    return;
                }
            }
        });
        addAction(action);
    };
    addMoveKey(QKeySequence(Qt::ALT | Qt::Key_Up), -1);
    addMoveKey(QKeySequence(Qt::ALT | Qt::Key_Down), +1);
    synchronizeOrder();
}

void DashboardDisplayWindowList::setWindows(std::vector<WindowRecord> windows)
{
    const bool changed = idsOf(windows) != idsOf(m_windows) || hintsOf(windows) != hintsOf(m_windows);
    m_windows = std::move(windows);
    if (changed)
        synchronizeOrder();
    else
        rebuildRows();
}

std::vector<WindowRecord> DashboardDisplayWindowList::displayOrderedWindows() const
{
    // Ids are unique within a layout; should two windows share one anyway, the first is kept.
    QHash<QUuid, const WindowRecord*> byID;
    for (const WindowRecord& window : m_windows)
        byID.insert(window.id, byID.value(window.id, &window));

    const QSet<QUuid> local(m_orderedWindowIDs.begin(), m_orderedWindowIDs.end());
    const QSet<QUuid> current(byID.keyBegin(), byID.keyEnd());
    if (m_orderedWindowIDs.size() == m_windows.size() && local == current) {
        std::vector<WindowRecord> ordered;
        ordered.reserve(m_orderedWindowIDs.size());
        for (const QUuid& id : m_orderedWindowIDs)
            ordered.push_back(*byID.value(id));
        return ordered;
    }
    return DashboardSnapshotPresentation::windowsForDisplayList(m_windows);
}

void DashboardDisplayWindowList::synchronizeOrder()
{
    m_orderedWindowIDs = idsOf(DashboardSnapshotPresentation::windowsForDisplayList(m_windows));
    rebuildRows();
}

bool DashboardDisplayWindowList::commitOrder(const std::vector<QUuid>& orderedWindowIDs)
{
    if (!m_editingEnabled || !m_reorderWindows)
        return false;
    const bool stored = m_reorderWindows(m_displayID, orderedWindowIDs);
    if (stored) {
        m_orderedWindowIDs = orderedWindowIDs;
        rebuildRows();
    }
    return stored;
}

void DashboardDisplayWindowList::moveWindow(const QUuid& windowID, int offset)
{
    std::vector<QUuid> ids = idsOf(displayOrderedWindows());
    const auto found = std::find(ids.begin(), ids.end(), windowID);
    if (found == ids.end())
        return;
    const auto index = static_cast<long long>(found - ids.begin());
    const long long target = index + offset;
    if (target < 0 || target >= static_cast<long long>(ids.size()))
        return;
    std::swap(ids[static_cast<std::size_t>(index)], ids[static_cast<std::size_t>(target)]);
    commitOrder(ids);
}

bool DashboardDisplayWindowList::moveWindow(const QUuid& draggedID, const QUuid& targetID)
{
    if (draggedID == targetID)
        return false;
    std::vector<QUuid> ids = idsOf(displayOrderedWindows());
    const auto dragged = std::find(ids.begin(), ids.end(), draggedID);
    const auto target = std::find(ids.begin(), ids.end(), targetID);
    if (dragged == ids.end() || target == ids.end())
        return false;
    const auto targetIndex = static_cast<std::size_t>(target - ids.begin());
    ids.erase(dragged);
    ids.insert(ids.begin() + static_cast<std::ptrdiff_t>(std::min(targetIndex, ids.size())), draggedID);
    return commitOrder(ids);
}

bool DashboardDisplayWindowList::dropPayload(const QString& payload, const QUuid& targetID)
{
    const std::optional<QUuid> dragged = parseUuidStrict(payload);
    if (!dragged)
        return false;
    return moveWindow(*dragged, targetID);
}

void DashboardDisplayWindowList::setEditingEnabled(bool enabled)
{
    m_editingEnabled = enabled;
    for (DashboardDisplayWindowRow* row : m_rows)
        row->setEditingEnabled(enabled);
}

void DashboardDisplayWindowList::rebuildRows()
{
    // Keyboard users keep their place: the focused window's row gets focus again.
    std::optional<QUuid> focused;
    for (DashboardDisplayWindowRow* row : m_rows) {
        if (row->hasFocus())
            focused = row->window().id;
    }
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    while (QLayoutItem* item = layout->takeAt(0))
        delete item;
    // Later, not now: the row being replaced may be the one whose drop, drag or action runs this.
    for (DashboardDisplayWindowRow* row : m_rows)
        DashboardDisplayWindowRow::retire(row);
    m_rows.clear();
    for (const WindowRecord& window : displayOrderedWindows()) {
        const QUuid id = window.id;
        auto* row = new DashboardDisplayWindowRow(
            window, m_resolver.identity(window.bundleIdentifier),
            [this, window] {
                if (m_editingEnabled && m_removeWindow)
                    m_removeWindow(window);
            },
            [this, id] { moveWindow(id, -1); }, [this, id] { moveWindow(id, +1); },
            [this, id](const QString& payload) { return dropPayload(payload, id); }, this);
        row->setEditingEnabled(m_editingEnabled);
        layout->addWidget(row);
        m_rows.push_back(row);
        if (focused && *focused == id) {
            // Shown now rather than on the layout's queued show, so it can take the focus.
            row->show();
            row->setFocus();
        }
    }
}

} // namespace zen
