#pragma once

#include "Snapshots/Snapshot.h"

#include <QUuid>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace zen {

class DashboardAppIdentityResolver;
class DashboardDisplayWindowRow;

// A display's saved windows in restore order, front-most first. Every change of order goes at
// once to the dashboard's reorder action and is shown only when it was stored.
class DashboardDisplayWindowList : public QWidget {
    Q_OBJECT
public:
    using RemoveWindow = std::function<void(const WindowRecord&)>;
    // True when the new order was stored.
    using ReorderWindows = std::function<bool(std::uint32_t displayID, const std::vector<QUuid>& orderedWindowIDs)>;

    DashboardDisplayWindowList(std::uint32_t displayID, std::vector<WindowRecord> windows,
                               DashboardAppIdentityResolver& appIdentityResolver, RemoveWindow removeWindow,
                               ReorderWindows reorderWindows, QWidget* parent = nullptr);

    // The layout was reloaded: the list re-reads the stored order when the window ids or their
    // stacking hints changed.
    void setWindows(std::vector<WindowRecord> windows);

    // The local order when it still covers exactly these windows, else the stored restore order.
    std::vector<WindowRecord> displayOrderedWindows() const;
    void synchronizeOrder();
    // Moves a window by an offset (-1 earlier, +1 later); nothing past either end.
    void moveWindow(const QUuid& windowID, int offset);
    // The dragged window takes the target's place. False for itself or a window not listed here.
    bool moveWindow(const QUuid& draggedID, const QUuid& targetID);
    bool commitOrder(const std::vector<QUuid>& orderedWindowIDs);
    // The text of a drop onto a row: the dragged window's id in its standard form.
    bool dropPayload(const QString& payload, const QUuid& targetID);

    // Off while a save, update or restore of this layout runs: its final write would undo an
    // edit made meanwhile, or be undone by it.
    void setEditingEnabled(bool enabled);
    bool isEditingEnabled() const { return m_editingEnabled; }

    const std::vector<DashboardDisplayWindowRow*>& rows() const { return m_rows; }
    const std::vector<QUuid>& orderedWindowIDs() const { return m_orderedWindowIDs; }

private:
    void rebuildRows();

    std::uint32_t m_displayID;
    std::vector<WindowRecord> m_windows;
    DashboardAppIdentityResolver& m_resolver;
    RemoveWindow m_removeWindow;
    ReorderWindows m_reorderWindows;
    std::vector<QUuid> m_orderedWindowIDs;
    std::vector<DashboardDisplayWindowRow*> m_rows;
    bool m_editingEnabled = true;
};

} // namespace zen
