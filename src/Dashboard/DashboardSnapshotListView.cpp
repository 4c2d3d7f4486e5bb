#include "Dashboard/DashboardSnapshotListView.h"

#include "Dashboard/DashboardSnapshotListModel.h"
#include "Dashboard/DashboardSnapshotRowDelegate.h"
#include "Shared/AnimationPolicy.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPropertyAnimation>
#include <QScrollBar>
#include <QStyle>

namespace zen {

DashboardSnapshotListView::DashboardSnapshotListView(QWidget* parent) : QListView(parent)
{
    m_delegate = new DashboardSnapshotRowDelegate(this);
    setItemDelegate(m_delegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    setFrameShape(QFrame::NoFrame);
    // A sidebar list: the window's own background, not a text field's.
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    setProperty("showsFocus", false);

    m_reveal = new QPropertyAnimation(verticalScrollBar(), "value", this);
    m_reveal->setEasingCurve(QEasingCurve::OutCubic);
}

DashboardSnapshotListModel* DashboardSnapshotListView::snapshotModel() const
{
    return qobject_cast<DashboardSnapshotListModel*>(model());
}

int DashboardSnapshotListView::count() const
{
    return model() ? model()->rowCount() : 0;
}

int DashboardSnapshotListView::currentRow() const
{
    return currentIndex().isValid() ? currentIndex().row() : -1;
}

void DashboardSnapshotListView::setCurrentRow(int row)
{
    if (!model())
        return;
    const QModelIndex index = model()->index(row, 0);
    // No row: nothing stays selected either.
    if (!index.isValid())
        selectionModel()->clear();
    setCurrentIndex(index);
}

QWidget* DashboardSnapshotListView::renameEditor() const
{
    return currentIndex().isValid() ? indexWidget(currentIndex()) : nullptr;
}

void DashboardSnapshotListView::revealRow(int row)
{
    const QModelIndex index = model() ? model()->index(row, 0) : QModelIndex();
    if (!index.isValid())
        return;
    QScrollBar* bar = verticalScrollBar();
    const int from = bar->value();
    scrollTo(index, QAbstractItemView::PositionAtTop);
    const int to = bar->value();
    m_reveal->stop();
    if (from == to || !animationsEnabled())
        return;
    bar->setValue(from);
    m_reveal->setDuration(std::max(1, style()->styleHint(QStyle::SH_Widget_Animation_Duration, nullptr, this)));
    m_reveal->setStartValue(from);
    m_reveal->setEndValue(to);
    m_reveal->start();
}

void DashboardSnapshotListView::keyPressEvent(QKeyEvent* event)
{
    setProperty("showsFocus", true);
    const int row = currentRow();
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (plain && row >= 0 && state() != QAbstractItemView::EditingState) {
        switch (event->key()) {
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
            emit deleteRequested(row);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit restoreRequested(row);
            return;
        case Qt::Key_F10:
            if (event->modifiers() & Qt::ShiftModifier) {
                emit menuRequested(row, viewport()->mapToGlobal(visualRect(currentIndex()).center()));
                return;
            }
            break;
        default:
            break;
        }
    }
    QListView::keyPressEvent(event);
}

void DashboardSnapshotListView::contextMenuEvent(QContextMenuEvent* event)
{
    const bool byKeyboard = event->reason() == QContextMenuEvent::Keyboard;
    const QModelIndex index = byKeyboard ? currentIndex() : indexAt(viewport()->mapFrom(this, event->pos()));
    if (!index.isValid())
        return;
    if (!byKeyboard)
        setCurrentIndex(index);
    const QPoint at = byKeyboard ? viewport()->mapToGlobal(visualRect(index).center()) : event->globalPos();
    emit menuRequested(index.row(), at);
}

void DashboardSnapshotListView::focusInEvent(QFocusEvent* event)
{
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
        setProperty("showsFocus", true);
    QListView::focusInEvent(event);
}

void DashboardSnapshotListView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    // The base view would store a half-typed name (or refuse a blank one and lose the typing)
    // when the selection moves on; a rename is taken only by Return.
    if (previous.isValid() && current.row() != previous.row())
        if (QWidget* editor = indexWidget(previous))
            closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
    QListView::currentChanged(current, previous);
}

void DashboardSnapshotListView::mousePressEvent(QMouseEvent* event)
{
    setProperty("showsFocus", false);
    QListView::mousePressEvent(event);
}

} // namespace zen
