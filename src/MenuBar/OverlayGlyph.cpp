#include "MenuBar/OverlayGlyph.h"

#include <QPainter>
#include <QPainterPath>

namespace zen {

OverlayGlyph::OverlayGlyph(Symbol symbol, double symbolSize, QColor tint, int boxSize, QWidget* parent)
    : QWidget(parent), m_symbol(symbol), m_symbolSize(symbolSize), m_tint(tint)
{
    setFixedSize(boxSize, boxSize);
    setAttribute(Qt::WA_TranslucentBackground);
}

void OverlayGlyph::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF box((width() - m_symbolSize) / 2.0, (height() - m_symbolSize) / 2.0, m_symbolSize, m_symbolSize);
    paint(painter, m_symbol, box, m_tint);
}

void OverlayGlyph::paint(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& tint)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = box.width();
    const auto at = [&](double fx, double fy) { return QPointF(box.left() + fx * s, box.top() + fy * s); };
    switch (symbol) {
    case Symbol::checkmarkCircle:
    case Symbol::xmarkCircle: {
        painter.setPen(Qt::NoPen);
        painter.setBrush(tint);
        painter.drawEllipse(box);
        // The mark is cut out of the disc: it shows what lies behind, as a filled symbol does.
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        QPen pen(Qt::black, s * 0.11, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        if (symbol == Symbol::checkmarkCircle) {
            QPainterPath mark;
            mark.moveTo(at(0.28, 0.52));
            mark.lineTo(at(0.44, 0.67));
            mark.lineTo(at(0.72, 0.35));
            painter.drawPath(mark);
        } else {
            painter.drawLine(at(0.34, 0.34), at(0.66, 0.66));
            painter.drawLine(at(0.66, 0.34), at(0.34, 0.66));
        }
        break;
    }
    case Symbol::exclamationTriangle: {
        QPainterPath triangle;
        triangle.moveTo(at(0.5, 0.06));
        triangle.lineTo(at(0.97, 0.9));
        triangle.lineTo(at(0.03, 0.9));
        triangle.closeSubpath();
        painter.setPen(QPen(tint, s * 0.08, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(tint);
        painter.drawPath(triangle);
        // Cut out of the fill, as the check is out of its disc.
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.setPen(QPen(Qt::black, s * 0.11, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(at(0.5, 0.36), at(0.5, 0.6));
        painter.drawPoint(at(0.5, 0.76));
        break;
    }
    case Symbol::raisedHand: {
        painter.setPen(Qt::NoPen);
        painter.setBrush(tint);
        // Four fingers, a thumb and the palm.
        const double finger = s * 0.14;
        const double tops[] = {0.16, 0.06, 0.08, 0.18};
        for (int i = 0; i < 4; ++i) {
            const QRectF f(box.left() + s * (0.26 + i * 0.15), box.top() + s * tops[i], finger, s * 0.5);
            painter.drawRoundedRect(f, finger / 2, finger / 2);
        }
        painter.drawRoundedRect(QRectF(at(0.24, 0.42), QSizeF(s * 0.62, s * 0.5)), s * 0.2, s * 0.2);
        painter.save();
        painter.translate(at(0.16, 0.5));
        painter.rotate(-35);
        painter.drawRoundedRect(QRectF(0, -s * 0.07, s * 0.3, finger), finger / 2, finger / 2);
        painter.restore();
        break;
    }
    case Symbol::twoDisplays: {
        QPen pen(tint, s * 0.08, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(at(0.04, 0.14), QSizeF(s * 0.52, s * 0.38)), s * 0.05, s * 0.05);
        painter.drawRoundedRect(QRectF(at(0.40, 0.34), QSizeF(s * 0.56, s * 0.42)), s * 0.05, s * 0.05);
        painter.drawLine(at(0.58, 0.9), at(0.78, 0.9));
        painter.drawLine(at(0.68, 0.76), at(0.68, 0.9));
        break;
    }
    }
    painter.restore();
}

} // namespace zen
