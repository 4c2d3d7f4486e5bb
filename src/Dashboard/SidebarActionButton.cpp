#include "Dashboard/SidebarActionButton.h"

#include "Dashboard/DashboardSymbols.h"

#include <QEnterEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

namespace zen {

namespace {

constexpr int outerHorizontalPadding = 12;
constexpr int labelHorizontalPadding = 10;
constexpr int labelVerticalPadding = 7;
constexpr int symbolSize = 16;
constexpr int iconSpacing = 8;
constexpr int focusRingWidth = 2;

} // namespace

QIcon SidebarActionButton::symbol(const QString& systemImage)
{
    return DashboardSymbols::icon(systemImage);
}

SidebarActionButton::SidebarActionButton(const QString& title, const QString& systemImage, bool isPrimary,
                                         int topPadding, int bottomPadding, QWidget* parent)
    : QAbstractButton(parent)
    , m_systemImage(systemImage)
    , m_isPrimary(isPrimary)
    , m_topPadding(topPadding)
    , m_bottomPadding(bottomPadding)
{
    setText(title);
    setToolTip(title);
    setAccessibleName(title);
    setIcon(symbol(systemImage));
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::ArrowCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SidebarActionButton::setTopPadding(int topPadding)
{
    if (m_topPadding == topPadding)
        return;
    m_topPadding = topPadding;
    updateGeometry();
    update();
}

SidebarActionButton::Tone SidebarActionButton::tone() const
{
    if (!isEnabled())
        return Tone::tertiary;
    return m_isHovered || m_isPrimary ? Tone::primary : Tone::secondary;
}

QColor SidebarActionButton::foreground() const
{
    QColor color = palette().color(QPalette::Active, QPalette::WindowText);
    if (const Tone t = tone(); t != Tone::primary)
        color.setAlphaF(t == Tone::secondary ? 0.6f : 0.3f);
    return color;
}

QRect SidebarActionButton::labelRect() const
{
    return QRect(outerHorizontalPadding, m_topPadding, width() - 2 * outerHorizontalPadding,
                 height() - m_topPadding - m_bottomPadding);
}

QSize SidebarActionButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int labelHeight = std::max(metrics.height(), symbolSize) + 2 * labelVerticalPadding;
    const int labelWidth = symbolSize + iconSpacing + metrics.horizontalAdvance(text()) + 2 * labelHorizontalPadding;
    return {labelWidth + 2 * outerHorizontalPadding, labelHeight + m_topPadding + m_bottomPadding};
}

QSize SidebarActionButton::minimumSizeHint() const
{
    return sizeHint();
}

void SidebarActionButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect label = labelRect();
    if (showsHoverBackground()) {
        QColor fill = palette().color(QPalette::Active, QPalette::WindowText);
        fill.setAlphaF(0.08f);
        QPainterPath path;
        path.addRoundedRect(QRectF(label), 6, 6);
        painter.fillPath(path, fill);
    }
    const QColor color = foreground();
    const QRect content = label.adjusted(labelHorizontalPadding, labelVerticalPadding, -labelHorizontalPadding,
                                         -labelVerticalPadding);
    const QRect iconRect(content.left(), content.center().y() - symbolSize / 2 + 1, symbolSize, symbolSize);
    painter.drawPixmap(iconRect, DashboardSymbols::tintedPixmap(m_systemImage, QSize(symbolSize, symbolSize), color,
                                                                devicePixelRatioF()));
    painter.setPen(color);
    const QRect textRect = content.adjusted(symbolSize + iconSpacing, 0, 0, 0);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                     painter.fontMetrics().elidedText(text(), Qt::ElideRight, textRect.width()));
    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        // Once the keyboard moves the focus, as the style's rings show: around the padded label,
        // in the accent.
        painter.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), focusRingWidth));
        painter.setBrush(Qt::NoBrush);
        const qreal inset = focusRingWidth / 2.0;
        painter.drawRoundedRect(QRectF(label).adjusted(inset, inset, -inset, -inset), 6, 6);
    }
}

bool SidebarActionButton::hitButton(const QPoint& pos) const
{
    return labelRect().contains(pos);
}

void SidebarActionButton::enterEvent(QEnterEvent* event)
{
    setHovered(true);
    QAbstractButton::enterEvent(event);
}

void SidebarActionButton::leaveEvent(QEvent* event)
{
    setHovered(false);
    QAbstractButton::leaveEvent(event);
}

void SidebarActionButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    QAbstractButton::changeEvent(event);
}

void SidebarActionButton::setHovered(bool hovered)
{
    if (m_isHovered == hovered)
        return;
    m_isHovered = hovered;
    update();
}

} // namespace zen
