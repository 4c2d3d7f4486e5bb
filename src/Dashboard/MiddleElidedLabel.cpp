#include "Dashboard/MiddleElidedLabel.h"

#include <QMouseEvent>
#include <QPainter>

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

QString MiddleElidedLabel::shownText() const
{
    return fontMetrics().elidedText(m_text, Qt::ElideMiddle, width());
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
