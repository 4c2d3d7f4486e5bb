#include "Dashboard/DashboardDisplayWindowRow.h"

#include "Dashboard/DashboardPreviewStyle.h"
#include "Dashboard/DashboardRemoveWindowButton.h"
#include "Dashboard/DashboardSymbols.h"
#include "Shared/StringExtensions.h"
#include "Shared/Uuid.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <utility>

namespace zen {

using Style = DashboardPreviewStyle;

namespace {

// Offers the row's two move actions to assistive technology, beside the widget's own.
class RowAccessible : public QAccessibleWidget {
public:
    explicit RowAccessible(DashboardDisplayWindowRow* row) : QAccessibleWidget(row, QAccessible::ListItem) {}

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        const auto* row = static_cast<const DashboardDisplayWindowRow*>(widget());
        if (row->moveEarlierAction()->isEnabled())
            names << DashboardDisplayWindowRow::moveEarlierTitle();
        if (row->moveLaterAction()->isEnabled())
            names << DashboardDisplayWindowRow::moveLaterTitle();
        return names;
    }

    void doAction(const QString& name) override
    {
        auto* row = static_cast<DashboardDisplayWindowRow*>(widget());
        if (name == DashboardDisplayWindowRow::moveEarlierTitle())
            row->moveEarlierAction()->trigger();
        else if (name == DashboardDisplayWindowRow::moveLaterTitle())
            row->moveLaterAction()->trigger();
        else
            QAccessibleWidget::doAction(name);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return widget()->accessibleName();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* rowAccessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("zen::DashboardDisplayWindowRow") && object && object->isWidgetType())
        return new RowAccessible(static_cast<DashboardDisplayWindowRow*>(object));
    return nullptr;
}

} // namespace

QString DashboardDisplayWindowRow::moveEarlierTitle()
{
    return QStringLiteral("Move Earlier in Restore Order");
}

QString DashboardDisplayWindowRow::moveLaterTitle()
{
    return QStringLiteral("Move Later in Restore Order");
}

QStringList DashboardDisplayWindowRow::stateLabels(const WindowRecord& window)
{
    QStringList labels;
    if (window.isFullscreen)
        labels << QStringLiteral("Fullscreen");
    if (window.isMinimized)
        labels << QStringLiteral("Minimized");
    else if (!window.isVisible)
        labels << QStringLiteral("Hidden");
    return labels;
}

QString DashboardDisplayWindowRow::displayTitle(const WindowRecord& window, const DashboardAppIdentity& identity)
{
    return nonEmptyValue(window.windowTitle).value_or(identity.bundleIdentifier);
}

DashboardDisplayWindowRow::DashboardDisplayWindowRow(const WindowRecord& window, const DashboardAppIdentity& identity,
                                                     std::function<void()> removeWindow, std::function<void()> moveUp,
                                                     std::function<void()> moveDown, DropHandler dropHandler,
                                                     QWidget* parent)
    : QWidget(parent)
    , m_window(window)
    , m_identity(identity)
    , m_stateLabels(stateLabels(window))
    , m_title(displayTitle(window, identity))
    , m_dropHandler(std::move(dropHandler))
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(rowAccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;

    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(identity.name + QStringLiteral(", ") + m_title);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    m_removeButton = new DashboardRemoveWindowButton(std::move(removeWindow), this);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch(1);
    layout->addWidget(m_removeButton, 0, Qt::AlignVCenter);

    // The keys that run these (Alt+Up, Alt+Down) belong to the list: hundreds of rows with a
    // shortcut each would make every shortcut lookup of the window slower.
    m_moveEarlier = new QAction(moveEarlierTitle(), this);
    connect(m_moveEarlier, &QAction::triggered, this, [moveUp = std::move(moveUp)] {
        if (moveUp)
            moveUp();
    });
    m_moveLater = new QAction(moveLaterTitle(), this);
    connect(m_moveLater, &QAction::triggered, this, [moveDown = std::move(moveDown)] {
        if (moveDown)
            moveDown();
    });
    addAction(m_moveEarlier);
    addAction(m_moveLater);
}

namespace {

constexpr int handleWidth = 14;
constexpr int barWidth = 8;
constexpr int iconSide = 18;
constexpr int spacing = 8;
constexpr int buttonSide = 22;

const QFont& nameFont()
{
    static const QFont font = Style::font(Style::TextStyle::caption, QFont::Medium);
    return font;
}

const QFont& smallFont()
{
    static const QFont font = Style::font(Style::TextStyle::caption2);
    return font;
}

const QFont& badgeFont()
{
    static const QFont font = Style::font(Style::TextStyle::caption2, QFont::Medium);
    return font;
}

int textBlockHeight()
{
    const QFontMetrics name(nameFont());
    const QFontMetrics badge(badgeFont());
    const QFontMetrics small(smallFont());
    return std::max(name.height(), badge.height() + 2) + 1 + small.height();
}

} // namespace

QSize DashboardDisplayWindowRow::sizeHint() const
{
    return QSize(handleWidth + barWidth + iconSide + buttonSide + 4 * spacing + 160,
                 std::max({buttonSide, iconSide, textBlockHeight()}));
}

QSize DashboardDisplayWindowRow::minimumSizeHint() const
{
    return QSize(handleWidth + barWidth + iconSide + buttonSide + 4 * spacing, sizeHint().height());
}

QRect DashboardDisplayWindowRow::handleRect() const
{
    return QRect(0, 0, handleWidth, height());
}

bool DashboardDisplayWindowRow::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (handleRect().contains(help->pos())) {
            QToolTip::showText(help->globalPos(), QStringLiteral("Drag to change restore order"), this, handleRect());
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

void DashboardDisplayWindowRow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (hasFocus()) {
        // Keyboard users move the focused row with the move shortcuts: show which one it is.
        p.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 4, 4);
    }
    const int midY = height() / 2;
    const qreal dpr = devicePixelRatioF();
    int x = 0;

    const QPixmap handle = DashboardSymbols::tintedPixmap(QStringLiteral("line.3.horizontal"), QSize(handleWidth, handleWidth),
                                                          Style::tertiary(palette()), dpr);
    p.drawPixmap(QPoint(x, midY - handleWidth / 2), handle);
    x += handleWidth + spacing;

    Style::fillRounded(p, QRectF(x, midY - 9, barWidth, 18), 2, m_identity.accentColor);
    x += barWidth + spacing;

    p.drawPixmap(QPoint(x, midY - iconSide / 2), Style::roundedIcon(m_identity.icon, iconSide, 4, dpr));
    x += iconSide + spacing;

    const int right = width() - buttonSide - spacing;
    const int textWidth = std::max(0, right - x);
    const int top = midY - textBlockHeight() / 2;
    // Measured on this device, as painted: screen metrics may round differently.
    const QFontMetrics nameMetrics(nameFont(), this);
    const QFontMetrics badgeMetrics(badgeFont(), this);
    const QFontMetrics smallMetrics(smallFont(), this);
    const int lineHeight = std::max(nameMetrics.height(), badgeMetrics.height() + 2);

    // Badges keep their room; the name gives way first.
    int badgesWidth = 0;
    for (const QString& label : m_stateLabels)
        badgesWidth += 5 + badgeMetrics.horizontalAdvance(label) + 10;
    const int nameWidth =
        std::max(0, std::min(nameMetrics.horizontalAdvance(m_identity.name) + 1, textWidth - badgesWidth));
    p.setFont(nameFont());
    p.setPen(Style::primary(palette()));
    p.drawText(QRect(x, top, nameWidth, lineHeight), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               nameMetrics.elidedText(m_identity.name, Qt::ElideRight, nameWidth));
    int badgeX = x + nameWidth;
    p.setFont(badgeFont());
    for (const QString& label : m_stateLabels) {
        badgeX += 5;
        const int w = badgeMetrics.horizontalAdvance(label) + 10;
        if (badgeX + w > right)
            break;
        const QRect badgeRect(badgeX, top + (lineHeight - badgeMetrics.height() - 2) / 2, w, badgeMetrics.height() + 2);
        Style::fillRounded(p, QRectF(badgeRect), badgeRect.height() / 2.0, Style::quaternaryFill(palette()));
        p.setPen(Style::secondary(palette()));
        p.drawText(badgeRect, Qt::AlignCenter | Qt::TextSingleLine, label);
        badgeX += w;
    }

    p.setFont(smallFont());
    p.setPen(Style::secondary(palette()));
    p.drawText(QRect(x, top + lineHeight + 1, textWidth, smallMetrics.height()),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               smallMetrics.elidedText(m_title, Qt::ElideRight, textWidth));
}

void DashboardDisplayWindowRow::setEditingEnabled(bool enabled)
{
    m_editingEnabled = enabled;
    setAcceptDrops(enabled);
    m_moveEarlier->setEnabled(enabled);
    m_moveLater->setEnabled(enabled);
    m_removeButton->setEnabled(enabled);
}

QMimeData* DashboardDisplayWindowRow::dragPayload() const
{
    auto* data = new QMimeData;
    data->setText(uuidText(m_window.id));
    return data;
}

void DashboardDisplayWindowRow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        m_pressPosition = event->position().toPoint();
    }
    QWidget::mousePressEvent(event);
}

void DashboardDisplayWindowRow::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed || !m_editingEnabled || !(event->buttons() & Qt::LeftButton)
        || (event->position().toPoint() - m_pressPosition).manhattanLength() < QApplication::startDragDistance()) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    m_pressed = false;
    const DragScope scope;
    auto* drag = new QDrag(this);
    drag->setMimeData(dragPayload());
    drag->setPixmap(grab());
    drag->setHotSpot(m_pressPosition);
    drag->exec(Qt::MoveAction);
}

namespace {

int dragDepth = 0;
QList<QPointer<DashboardDisplayWindowRow>>& retiredRows()
{
    static QList<QPointer<DashboardDisplayWindowRow>> rows;
    return rows;
}

} // namespace

DashboardDisplayWindowRow::DragScope::DragScope()
{
    ++dragDepth;
}

DashboardDisplayWindowRow::DragScope::~DragScope()
{
    if (--dragDepth > 0)
        return;
    const auto rows = std::exchange(retiredRows(), {});
    for (const QPointer<DashboardDisplayWindowRow>& row : rows) {
        if (row)
            row->deleteLater();
    }
}

void DashboardDisplayWindowRow::retire(DashboardDisplayWindowRow* row)
{
    row->hide();
    row->setParent(nullptr);
    if (dragDepth > 0)
        retiredRows().push_back(row);
    else
        row->deleteLater();
}

void DashboardDisplayWindowRow::dragEnterEvent(QDragEnterEvent* event)
{
    if (m_editingEnabled && event->mimeData()->hasText())
        event->acceptProposedAction();
    else
        event->ignore();
}

void DashboardDisplayWindowRow::dragMoveEvent(QDragMoveEvent* event)
{
    if (m_editingEnabled && event->mimeData()->hasText())
        event->acceptProposedAction();
    else
        event->ignore();
}

void DashboardDisplayWindowRow::dropEvent(QDropEvent* event)
{
    // A drop may carry several texts, one per line; the first one names the dragged window.
    const QString payload = event->mimeData()->text().section(QLatin1Char('\n'), 0, 0);
    if (m_editingEnabled && m_dropHandler && m_dropHandler(payload))
        event->acceptProposedAction();
    else
        event->ignore();
}

} // namespace zen
