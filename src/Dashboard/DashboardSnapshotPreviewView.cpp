#include "Dashboard/DashboardSnapshotPreviewView.h"

#include "Dashboard/DashboardAppIdentityResolver.h"
#include "Dashboard/DashboardDisplayPreviewCard.h"
#include "Dashboard/DashboardPreviewStyle.h"
#include "Dashboard/DashboardSnapshotPresentation.h"
#include "Dashboard/DashboardUnassignedWindowsView.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QResizeEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace zen {

using Style = DashboardPreviewStyle;

namespace {

// A new layout may arrive from inside one of the widget's own callbacks (a remove button's
// click, a drop): the old widgets go once control is back in the event loop.
void discard(QWidget* widget)
{
    if (!widget)
        return;
    widget->hide();
    if (QWidget* parent = widget->parentWidget(); parent && parent->layout())
        parent->layout()->removeWidget(widget);
    widget->deleteLater();
}

} // namespace

DashboardSnapshotPreviewView::DashboardSnapshotPreviewView(const Snapshot& snapshot,
                                                           DashboardAppIdentityResolver& appIdentityResolver,
                                                           RemoveWindow removeWindow, ReorderWindows reorderWindows,
                                                           QWidget* parent)
    : QWidget(parent)
    , m_snapshot(snapshot)
    , m_resolver(appIdentityResolver)
    , m_removeWindow(std::move(removeWindow))
    , m_reorderWindows(std::move(reorderWindows))
{
    m_layout = new QVBoxLayout(this);
    // Its background is the window's: the heading and the cards line up with the metric cards
    // above, not inside an invisible frame.
    m_layout->setContentsMargins(0, 18, 0, 18);
    m_layout->setSpacing(14);
    m_layout->addWidget(Style::label(QStringLiteral("Layout Preview"), Style::TextStyle::headline));
    m_empty = Style::label(QString(), Style::TextStyle::subheadline, QFont::Normal, true, this);
    m_empty->setObjectName(QStringLiteral("emptyMessage"));
    m_empty->setWordWrap(true);
    m_layout->addWidget(m_empty);
    m_grid = new QWidget(this);
    m_gridLayout = new QGridLayout(m_grid);
    m_gridLayout->setContentsMargins(0, 0, 0, 0);
    m_gridLayout->setSpacing(gridSpacing);
    m_layout->addWidget(m_grid);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    rebuild();
}

int DashboardSnapshotPreviewView::columnCount(int availableWidth)
{
    return std::max(1, (availableWidth + gridSpacing) / (minimumCardWidth + gridSpacing));
}

QString DashboardSnapshotPreviewView::emptyMessage() const
{
    return m_empty->isHidden() ? QString() : m_empty->text();
}

void DashboardSnapshotPreviewView::setSnapshot(const Snapshot& snapshot)
{
    const bool sameLayout = snapshot.id == m_snapshot.id;
    m_snapshot = snapshot;
    const auto models = DashboardSnapshotPresentation::displayPreviewModels(m_snapshot);
    bool reusable = sameLayout && models.size() == m_cards.size();
    for (std::size_t i = 0; reusable && i < models.size(); ++i)
        reusable = m_cards[i]->model().display == models[i].display;
    if (!reusable) {
        rebuild();
        return;
    }
    for (std::size_t i = 0; i < models.size(); ++i)
        m_cards[i]->setModel(models[i]);
    rebuildUnassigned();
    equalizeCardHeights();
}

void DashboardSnapshotPreviewView::rebuildUnassigned()
{
    // Unassigned windows have no local state worth keeping.
    discard(m_unassigned);
    m_unassigned = nullptr;
    if (const auto unassigned = DashboardSnapshotPresentation::unassignedWindows(m_snapshot); !unassigned.empty()) {
        m_unassigned = new DashboardUnassignedWindowsView(unassigned, m_resolver, m_removeWindow, this);
        m_unassigned->setEditingEnabled(m_editingEnabled);
        m_layout->addWidget(m_unassigned);
        m_unassigned->show();
    }
}

void DashboardSnapshotPreviewView::rebuild()
{
    for (DashboardDisplayPreviewCard* card : m_cards)
        discard(card);
    m_cards.clear();
    m_cardHeight = 0;

    // Grouping the windows by display is the costly part of the empty-state rule: with cards to
    // show there is no empty state, so the groups are made once.
    auto models = DashboardSnapshotPresentation::displayPreviewModels(m_snapshot);
    const std::optional<QString> empty = models.empty()
                                             ? DashboardSnapshotPresentation::displayPreviewEmptyMessage(m_snapshot)
                                             : std::nullopt;
    m_empty->setText(empty.value_or(QString()));
    m_empty->setVisible(empty.has_value());
    m_grid->setVisible(!empty.has_value());
    if (!empty) {
        for (DashboardDisplayPreviewModel& model : models) {
            auto* card =
                new DashboardDisplayPreviewCard(std::move(model), m_resolver, m_removeWindow, m_reorderWindows, m_grid);
            card->setEditingEnabled(m_editingEnabled);
            // Shown now: a layout shows a widget it takes in only one turn later.
            card->show();
            m_cards.push_back(card);
        }
    }
    rebuildUnassigned();
    // With no columns set the grid is always laid out anew, and that lines the cards up.
    m_columns = 0;
    arrangeGrid();
}

void DashboardSnapshotPreviewView::arrangeGrid()
{
    const int available = width() - m_layout->contentsMargins().left() - m_layout->contentsMargins().right();
    // No empty columns: the cards there are share the whole width.
    const int columns = std::max(1, std::min(columnCount(available), static_cast<int>(m_cards.size())));
    if (columns == m_columns && m_gridLayout->count() == static_cast<int>(m_cards.size()))
        return;
    // Taking an item hands it over; deleting it leaves the card alone.
    while (QLayoutItem* item = m_gridLayout->takeAt(0))
        delete item;
    for (int c = 0; c < m_gridLayout->columnCount(); ++c)
        m_gridLayout->setColumnStretch(c, 0);
    m_columns = columns;
    for (std::size_t i = 0; i < m_cards.size(); ++i) {
        m_gridLayout->addWidget(m_cards[i], static_cast<int>(i) / columns, static_cast<int>(i) % columns,
                                Qt::AlignTop);
    }
    // Equal columns, also when the last row is not full.
    for (int c = 0; c < columns; ++c)
        m_gridLayout->setColumnStretch(c, 1);
    equalizeCardHeights();
}

void DashboardSnapshotPreviewView::equalizeCardHeights()
{
    // Cards side by side line up; a card in another row keeps its own height, so a short
    // display under a tall one leaves no empty band.
    const std::size_t perRow = static_cast<std::size_t>(std::max(m_columns, 1));
    m_cardHeight = 0;
    for (std::size_t start = 0; start < m_cards.size(); start += perRow) {
        const std::size_t end = std::min(m_cards.size(), start + perRow);
        int tallest = 0;
        for (std::size_t i = start; i < end; ++i) {
            m_cards[i]->setMinimumHeight(0);
            tallest = std::max(tallest, m_cards[i]->sizeHint().height());
        }
        for (std::size_t i = start; i < end; ++i)
            m_cards[i]->setMinimumHeight(tallest);
        m_cardHeight = std::max(m_cardHeight, tallest);
    }
}

void DashboardSnapshotPreviewView::setEditingEnabled(bool enabled)
{
    m_editingEnabled = enabled;
    for (DashboardDisplayPreviewCard* card : m_cards)
        card->setEditingEnabled(enabled);
    if (m_unassigned)
        m_unassigned->setEditingEnabled(enabled);
}

void DashboardSnapshotPreviewView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrangeGrid();
}

void DashboardSnapshotPreviewView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Style::fillRounded(p, QRectF(rect()), 14, Style::windowBackground(palette()));
}

} // namespace zen
