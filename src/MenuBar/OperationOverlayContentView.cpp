#include "MenuBar/OperationOverlayContentView.h"

#include "MenuBar/OverlaySpinner.h"
#include "MenuBar/ToastCardView.h"
#include "MenuBar/ToastTextLabel.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace zen {

OperationOverlayContentView::OperationOverlayContentView(QString message, bool coversScreen, bool translucent,
                                                         QWidget* parent)
    : QWidget(parent), m_message(std::move(message)), m_coversScreen(coversScreen), m_translucent(translucent)
{
    setAttribute(Qt::WA_TranslucentBackground, translucent);
}

void OperationOverlayContentView::buildView()
{
    m_card = new ToastCardView(m_translucent, 16, this);
    m_card->setMinimumSize(190, 112);

    QFont font = this->font();
    font.setPixelSize(15);
    font.setWeight(QFont::DemiBold);
    m_label = new ToastTextLabel(m_message, font, ToastCardView::primaryText(), 1, m_card);
    m_label->setFixedWidth(QFontMetrics(font).horizontalAdvance(m_message) + 2);
    m_spinner = new OverlaySpinner(m_card);

    auto* stack = new QVBoxLayout(m_card);
    stack->setContentsMargins(24, 20, 24, 20);
    stack->setSpacing(12);
    stack->addStretch(1);
    stack->addWidget(m_spinner, 0, Qt::AlignHCenter);
    stack->addWidget(m_label, 0, Qt::AlignHCenter);
    stack->addStretch(1);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    if (m_coversScreen)
        grid->addWidget(m_card, 0, 0, Qt::AlignCenter);
    else
        grid->addWidget(m_card, 0, 0);
}

void OperationOverlayContentView::paintEvent(QPaintEvent*)
{
    if (!m_coversScreen)
        return;
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, static_cast<int>(dimmingAlpha * 255)));
}

} // namespace zen
