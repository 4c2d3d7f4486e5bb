#include "MenuBar/OverlaySpinner.h"

#include <QPainter>
#include <QTimer>

namespace zen {

OverlaySpinner::OverlaySpinner(QWidget* parent) : QWidget(parent)
{
    setFixedSize(32, 32);
    setAttribute(Qt::WA_TranslucentBackground);
    // Drawing only: how fast the spokes turn has no bearing on any outcome.
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % 12;
        update();
    });
    timer->start(83);
}

void OverlaySpinner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    const double radius = std::min(width(), height()) / 2.0;
    for (int i = 0; i < 12; ++i) {
        const int age = (m_step - i + 12) % 12;
        QColor color(255, 255, 255, 255 - age * 17);
        painter.setPen(QPen(color, radius * 0.16, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -radius * 0.5), QPointF(0, -radius * 0.92));
        painter.rotate(30);
    }
}

} // namespace zen
