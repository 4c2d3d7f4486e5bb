#include "MenuBar/ToastCardView.h"

#include "MenuBar/OperationToastCloseButton.h"

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

void ToastCardView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeCornerButtons();
}

void ToastCardView::setCornerButtons(std::function<void()> onDismiss, QWidget* action)
{
    m_closeButton = new OperationToastCloseButton(this);
    connect(m_closeButton, &QAbstractButton::clicked, this, [onDismiss = std::move(onDismiss)] {
        if (onDismiss)
            onDismiss();
    });
    m_actionCorner = action;
    placeCornerButtons();
}

void ToastCardView::placeCornerButtons()
{
    if (m_closeButton)
        m_closeButton->move(width() - 10 - m_closeButton->width(), 10);
    if (m_actionCorner)
        m_actionCorner->move(width() - 16 - m_actionCorner->width(), height() - 14 - m_actionCorner->height());
}

} // namespace zen
