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
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

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

class ColorBar : public QWidget {
public:
    ColorBar(const QColor& color, QWidget* parent) : QWidget(parent), m_color(color) { setFixedSize(8, 18); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        Style::fillRounded(p, QRectF(rect()), 2, m_color);
    }

private:
    QColor m_color;
};

// A one-line label that ends in an ellipsis rather than widening its row.
class ElidedLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override { return QSize(0, QLabel::minimumSizeHint().height()); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width()));
    }
};

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
    : QWidget(parent), m_window(window), m_dropHandler(std::move(dropHandler))
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(rowAccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;

    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    // The whole row, empty space included, takes presses and drops.
    setAttribute(Qt::WA_StyledBackground, false);
    setAccessibleName(identity.name + QStringLiteral(", ") + displayTitle(window, identity));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    auto* handle = new QLabel(this);
    handle->setObjectName(QStringLiteral("dragHandle"));
    handle->setPixmap(DashboardSymbols::tintedPixmap(QStringLiteral("line.3.horizontal"), QSize(14, 14),
                                                     Style::tertiary(palette()), devicePixelRatioF()));
    handle->setFixedWidth(14);
    handle->setToolTip(QStringLiteral("Drag to change restore order"));
    handle->setCursor(Qt::OpenHandCursor);
    layout->addWidget(handle);

    layout->addWidget(new ColorBar(identity.accentColor, this));

    auto* icon = new QLabel(this);
    icon->setPixmap(Style::roundedIcon(identity.icon, 18, 4, devicePixelRatioF()));
    icon->setFixedSize(18, 18);
    layout->addWidget(icon);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    auto* nameLine = new QHBoxLayout;
    nameLine->setSpacing(5);
    QLabel* name = Style::label(identity.name, Style::TextStyle::caption, QFont::Medium, false, this);
    name->setObjectName(QStringLiteral("appName"));
    nameLine->addWidget(name);
    for (const QString& state : stateLabels(window)) {
        QLabel* badge = Style::badge(state, Style::TextStyle::caption2, 5, 1, this);
        badge->setObjectName(QStringLiteral("stateBadge"));
        nameLine->addWidget(badge);
    }
    nameLine->addStretch(1);
    texts->addLayout(nameLine);
    auto* title = new ElidedLabel(this);
    title->setObjectName(QStringLiteral("windowTitle"));
    title->setTextFormat(Qt::PlainText);
    title->setText(displayTitle(window, identity));
    title->setFont(Style::font(Style::TextStyle::caption2));
    QPalette titlePalette = title->palette();
    titlePalette.setColor(QPalette::WindowText, Style::secondary(titlePalette));
    title->setPalette(titlePalette);
    texts->addWidget(title);
    layout->addLayout(texts, 1);

    m_removeButton = new DashboardRemoveWindowButton(std::move(removeWindow), this);
    layout->addWidget(m_removeButton);

    m_moveEarlier = new QAction(moveEarlierTitle(), this);
    m_moveEarlier->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
    m_moveEarlier->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_moveEarlier, &QAction::triggered, this, [moveUp = std::move(moveUp)] {
        if (moveUp)
            moveUp();
    });
    m_moveLater = new QAction(moveLaterTitle(), this);
    m_moveLater->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Down));
    m_moveLater->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_moveLater, &QAction::triggered, this, [moveDown = std::move(moveDown)] {
        if (moveDown)
            moveDown();
    });
    addAction(m_moveEarlier);
    addAction(m_moveLater);
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
    auto* drag = new QDrag(this);
    drag->setMimeData(dragPayload());
    drag->setPixmap(grab());
    drag->setHotSpot(m_pressPosition);
    drag->exec(Qt::MoveAction);
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
