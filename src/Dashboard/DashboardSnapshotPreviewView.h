#pragma once

#include "Dashboard/DashboardDisplayWindowList.h"
#include "Snapshots/Snapshot.h"

#include <QWidget>

#include <vector>

class QGridLayout;
class QLabel;
class QVBoxLayout;

namespace zen {

class DashboardAppIdentityResolver;
class DashboardDisplayPreviewCard;
class DashboardUnassignedWindowsView;

// The "Layout Preview" section of the layout detail: a card per saved display that has windows,
// in a grid of as many columns of at least 280 points as fit, all cards as tall as the
// tallest; then the windows that belong to no saved display. It never changes a layout itself:
// removal and reordering go out through the two callbacks.
class DashboardSnapshotPreviewView : public QWidget {
    Q_OBJECT
public:
    using RemoveWindow = DashboardDisplayWindowList::RemoveWindow;
    using ReorderWindows = DashboardDisplayWindowList::ReorderWindows;

    static constexpr int minimumCardWidth = 280;
    static constexpr int gridSpacing = 14;

    DashboardSnapshotPreviewView(const Snapshot& snapshot, DashboardAppIdentityResolver& appIdentityResolver,
                                 RemoveWindow removeWindow, ReorderWindows reorderWindows, QWidget* parent = nullptr);

    // Shows a reloaded or another layout. Cards of the same layout's displays are kept, so
    // their lists compare the new windows with what they showed.
    void setSnapshot(const Snapshot& snapshot);
    const Snapshot& snapshot() const { return m_snapshot; }

    // Off while the layout-operations controller is busy with a save, update or restore.
    void setEditingEnabled(bool enabled);
    bool isEditingEnabled() const { return m_editingEnabled; }

    const std::vector<DashboardDisplayPreviewCard*>& cards() const { return m_cards; }
    DashboardUnassignedWindowsView* unassignedWindowsView() const { return m_unassigned; }
    // The shown empty-state text, empty when cards are shown.
    QString emptyMessage() const;
    // The tallest card's height, in whole points; 0 without cards. Cards of one row are given
    // the height of that row's tallest.
    int displayCardHeight() const { return m_cardHeight; }
    int columnCount() const { return m_columns; }

    static int columnCount(int availableWidth);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void rebuild();
    void rebuildUnassigned();
    void arrangeGrid();
    void equalizeCardHeights();

    Snapshot m_snapshot;
    DashboardAppIdentityResolver& m_resolver;
    RemoveWindow m_removeWindow;
    ReorderWindows m_reorderWindows;
    bool m_editingEnabled = true;

    QVBoxLayout* m_layout = nullptr;
    QLabel* m_empty = nullptr;
    QWidget* m_grid = nullptr;
    QGridLayout* m_gridLayout = nullptr;
    std::vector<DashboardDisplayPreviewCard*> m_cards;
    DashboardUnassignedWindowsView* m_unassigned = nullptr;
    int m_columns = 0;
    int m_cardHeight = 0;
};

} // namespace zen
