#include "Dashboard/MiddleElidedLabel.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace zen {

MiddleElidedLabel::MiddleElidedLabel(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void MiddleElidedLabel::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    setToolTip(text.toHtmlEscaped());
    setAccessibleName(text);
    updateGeometry();
    update();
}

void MiddleElidedLabel::setSmallestScale(qreal scale)
{
    m_smallestScale = std::clamp(scale, 0.1, 1.0);
    update();
}

QFont MiddleElidedLabel::fontFitting(const QFont& base, const QString& text, int width, qreal smallestScale)
{
    // Measured as drawn, in fractions of a pixel: a rounded width can fit where the text is cut.
    const auto fits = [&](const QFont& font) { return QFontMetricsF(font).horizontalAdvance(text) <= width; };
    if (smallestScale >= 1 || fits(base))
        return base;
    // In the font's own unit: desktop fonts are set in points, some styles in pixels.
    const bool points = base.pointSizeF() > 0;
    const qreal full = points ? base.pointSizeF() : qreal(base.pixelSize());
    const qreal step = points ? 0.5 : 1.0;
    const qreal floor = full * smallestScale;
    QFont font = base;
    const auto resize = [&](qreal size) {
        if (points)
            font.setPointSizeF(size);
        else
            font.setPixelSize(std::max(1, int(size)));
    };
    for (qreal size = full - step; size > floor; size -= step) {
        resize(size);
        if (fits(font))
            return font;
    }
    resize(floor);
    return font;
}

QFont MiddleElidedLabel::shownFont() const
{
    return fontFitting(font(), m_text, width(), m_smallestScale);
}

QString MiddleElidedLabel::shownText() const
{
    const QFont font = shownFont();
    if (QFontMetricsF(font).horizontalAdvance(m_text) <= width())
        return m_text;
    return QFontMetrics(font).elidedText(m_text, Qt::ElideMiddle, width());
}

QSize MiddleElidedLabel::sizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(m_text) + 2, fontMetrics().height());
}

QSize MiddleElidedLabel::minimumSizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(QStringLiteral("W…W")), fontMetrics().height());
}

void MiddleElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(shownFont());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shownText());
}

void MiddleElidedLabel::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (onDoubleClick && event->button() == Qt::LeftButton)
        onDoubleClick();
    QWidget::mouseDoubleClickEvent(event);
}

} // namespace zen
