#pragma once

#include "Dashboard/DashboardDisplayWindowRow.h"
#include "Snapshots/Snapshot.h"

#include <QHash>
#include <QUuid>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QMenu;
class QMimeData;
class QVariantAnimation;

namespace zen {

class DashboardAppIdentityResolver;

// A display's saved windows in restore order, front-most first, painted as one list: the
// widget count stays the same whatever a layout holds. Every change of order goes at once to
// the dashboard's reorder action and is shown only when it was stored.
class DashboardDisplayWindowList : public QWidget {
    Q_OBJECT
public:
    using RemoveWindow = std::function<void(const WindowRecord&)>;
    // True when the new order was stored.
    using ReorderWindows = std::function<bool(std::uint32_t displayID, const std::vector<QUuid>& orderedWindowIDs)>;

    static constexpr int topPadding = 2;
    static constexpr int rowSpacing = 7;
    // How long a reorder glides the rows to their new places.
    static constexpr int reorderAnimationMilliseconds = 160;

    DashboardDisplayWindowList(std::uint32_t displayID, std::vector<WindowRecord> windows,
                               DashboardAppIdentityResolver& appIdentityResolver, RemoveWindow removeWindow,
                               ReorderWindows reorderWindows, QWidget* parent = nullptr);
    ~DashboardDisplayWindowList() override;

    // The layout was reloaded: the list re-reads the stored order when the window ids or their
    // stacking hints changed.
    void setWindows(std::vector<WindowRecord> windows);

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

    const std::vector<DashboardDisplayWindowRow>& rows() const { return m_rows; }
    // Where row `index` is drawn once any reorder animation has ended.
    QRect rowRect(int index) const;
    int rowAt(const QPoint& position) const;
    int indexOfWindow(const QUuid& windowID) const;

    // The row keyboard moves and the context menu key act on; -1 for none.
    int currentRow() const { return m_currentRow; }
    void setCurrentRow(int index);
    // Whether the current row shows its focus frame: only after keyboard use, never left on a
    // row that the mouse dragged or dropped.
    bool showsFocusFrame() const;

    // Move Earlier, Move Later and Remove for the row, each enabled when it can act.
    void fillContextMenu(QMenu& menu, int index);
    // What a drag of the row carries: the window id's upper-case text.
    QMimeData* dragPayload(int index) const;
    // While a drag hovers: the index the dragged row would take; absent otherwise.
    std::optional<int> dropLandingIndex() const { return m_landingIndex; }

    QVariantAnimation* reorderAnimation() const { return m_reorderAnimation; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The local order when it still covers exactly these windows, else the stored restore
    // order, as places in `m_windows`.
    std::vector<std::size_t> displayOrder() const;
    std::vector<QUuid> displayOrderedIDs() const;
    std::optional<QUuid> currentWindowID() const;
    void synchronizeOrder(const std::optional<QUuid>& current);
    // Rows for the windows at these places, the current window staying current.
    void rebuildRows(const std::vector<std::size_t>& order, const std::optional<QUuid>& current);
    std::optional<int> landingIndex(const QMimeData* data, const QPoint& position) const;
    void moveCurrent(int offset);
    void removeAt(int index);
    QRect animatedRowRect(int index) const;

    std::uint32_t m_displayID;
    std::vector<WindowRecord> m_windows;
    DashboardAppIdentityResolver& m_resolver;
    RemoveWindow m_removeWindow;
    ReorderWindows m_reorderWindows;
    std::vector<QUuid> m_orderedWindowIDs;
    // Each refers to its record in `m_windows`.
    std::vector<DashboardDisplayWindowRow> m_rows;
    bool m_editingEnabled = true;

    int m_currentRow = -1;
    bool m_keyboardFocus = false;
    int m_hoveredRemove = -1;
    int m_pressedRow = -1;
    int m_pressedRemove = -1;
    QPoint m_pressPosition;
    std::optional<int> m_landingIndex;
    // The top of each row before the last reorder, by the row's new index.
    std::vector<int> m_startTops;
    QVariantAnimation* m_reorderAnimation = nullptr;
    // Assistive technology's handle of each row, kept while the row's window is listed.
    mutable QHash<QUuid, unsigned> m_accessibleRows;
    friend class DashboardDisplayWindowListAccessible;
};

} // namespace zen
