#include "MenuBar/OperationToastCloseButton.h"

#include "MenuBar/OverlayGlyph.h"

#include <QPainter>

namespace zen {

OperationToastCloseButton::OperationToastCloseButton(QWidget* parent) : QAbstractButton(parent)
{
    setFixedSize(20, 20);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    setToolTip(QStringLiteral("Dismiss"));
    setAccessibleName(QStringLiteral("Dismiss"));
}

void OperationToastCloseButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // Brighter while pressed, as a momentary-change button does.
    const QColor tint = isDown() ? QColor(200, 200, 205) : QColor(142, 142, 147);
    OverlayGlyph::paint(painter, OverlayGlyph::Symbol::xmarkCircle, QRectF(rect()).adjusted(1, 1, -1, -1), tint);
}

} // namespace zen
