#pragma once

#include <QListView>

class QPropertyAnimation;

namespace zen {

class DashboardSnapshotListModel;
class DashboardSnapshotRowDelegate;

// The sidebar's list of saved layouts. Keys act on the current row: F2 renames, Delete asks to
// delete, Return restores; the context menu key and a right click ask for the row's menu.
class DashboardSnapshotListView : public QListView {
    Q_OBJECT
public:
    explicit DashboardSnapshotListView(QWidget* parent = nullptr);

    DashboardSnapshotListModel* snapshotModel() const;
    DashboardSnapshotRowDelegate* rowDelegate() const { return m_delegate; }

    int count() const;
    int currentRow() const;
    void setCurrentRow(int row);
    // The open rename field, null when no row is being renamed.
    QWidget* renameEditor() const;

    // Scrolls the row to the top, gliding there unless the desktop asks for no animation.
    void revealRow(int row);
    QPropertyAnimation* revealAnimation() const { return m_reveal; }

signals:
    void deleteRequested(int row);
    void restoreRequested(int row);
    void menuRequested(int row, const QPoint& globalPosition);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    DashboardSnapshotRowDelegate* m_delegate = nullptr;
    QPropertyAnimation* m_reveal = nullptr;
};

} // namespace zen
