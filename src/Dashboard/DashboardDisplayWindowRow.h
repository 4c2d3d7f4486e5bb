#pragma once

#include "Dashboard/DashboardAppIdentity.h"
#include "Snapshots/Snapshot.h"

#include <QPoint>
#include <QStringList>
#include <QWidget>

#include <functional>

class QAction;
class QMimeData;

namespace zen {

class DashboardRemoveWindowButton;

// One saved window in a display's restore-order list: drag handle, colour bar, icon, name with
// state badges, title, and the remove button. Painted rather than built of labels: a layout
// may list hundreds of windows, and the list is rebuilt after every reorder. Rows are dragged onto each other to reorder;
// keyboard and assistive technology use the two move actions instead.
class DashboardDisplayWindowRow : public QWidget {
    Q_OBJECT
public:
    // Takes the text of a drop onto this row; true when the drop was taken.
    using DropHandler = std::function<bool(const QString& payload)>;

    DashboardDisplayWindowRow(const WindowRecord& window, const DashboardAppIdentity& identity,
                              std::function<void()> removeWindow, std::function<void()> moveUp,
                              std::function<void()> moveDown, DropHandler dropHandler, QWidget* parent = nullptr);

    const WindowRecord& window() const { return m_window; }

    // "Fullscreen", then "Minimized" or else "Hidden" for a window saved as not visible.
    static QStringList stateLabels(const WindowRecord& window);
    // The trimmed title, or the bundle identifier when the window has none.
    static QString displayTitle(const WindowRecord& window, const DashboardAppIdentity& identity);

    static QString moveEarlierTitle();
    static QString moveLaterTitle();
    QAction* moveEarlierAction() const { return m_moveEarlier; }
    QAction* moveLaterAction() const { return m_moveLater; }
    DashboardRemoveWindowButton* removeButton() const { return m_removeButton; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // What a drag of this row carries: the window id's upper-case text.
    QMimeData* dragPayload() const;

    // While a row is being dragged, the toolkit runs a nested event loop inside the drag; the
    // drop's reorder may rebuild every row there, the dragged one included. Rows retired
    // meanwhile are hidden and deleted only once the drag has ended.
    class DragScope {
    public:
        DragScope();
        ~DragScope();
        DragScope(const DragScope&) = delete;
        DragScope& operator=(const DragScope&) = delete;
    };
    // Hides the row and deletes it as soon as no drag runs.
    static void retire(DashboardDisplayWindowRow* row);

    // Off while the layout is being saved, updated or restored.
    void setEditingEnabled(bool enabled);
    bool isEditingEnabled() const { return m_editingEnabled; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QRect handleRect() const;

    WindowRecord m_window;
    DashboardAppIdentity m_identity;
    QStringList m_stateLabels;
    QString m_title;
    DropHandler m_dropHandler;
    QAction* m_moveEarlier = nullptr;
    QAction* m_moveLater = nullptr;
    DashboardRemoveWindowButton* m_removeButton = nullptr;
    QPoint m_pressPosition;
    bool m_pressed = false;
    bool m_editingEnabled = true;
};

} // namespace zen
