#include "MenuBar/ToastCardView.h"

#include <QPainter>

namespace zen {

ToastCardView::ToastCardView(bool translucent, double cornerRadius, QWidget* parent)
    : QWidget(parent), m_translucent(translucent), m_cornerRadius(cornerRadius)
{
    setAttribute(Qt::WA_TranslucentBackground, translucent);
}

QColor ToastCardView::fill(bool translucent)
{
    return translucent ? QColor(30, 30, 32, 224) : QColor(44, 44, 46);
}

QColor ToastCardView::primaryText()
{
    return QColor(255, 255, 255);
}

QColor ToastCardView::secondaryText()
{
    return QColor(184, 184, 190);
}

void ToastCardView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 255, 255, 40), 1));
    painter.setBrush(fill(m_translucent));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), m_cornerRadius, m_cornerRadius);
}

} // namespace zen
