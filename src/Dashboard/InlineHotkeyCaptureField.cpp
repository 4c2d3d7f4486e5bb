#include "Dashboard/InlineHotkeyCaptureField.h"

#include "Dashboard/DashboardHotkeyMetricCard.h"
#include "Dashboard/MiddleElidedLabel.h"
#include "Onboarding/TextStyle.h"

#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>

namespace zen {

namespace {
const QColor systemRed(255, 59, 48);
}

InlineHotkeyCaptureField::InlineHotkeyCaptureField(QWidget* parent) : HotkeyCaptureView(parent)
{
    QFont medium = font();
    medium.setWeight(QFont::Medium);
    setFont(medium);
    setAccessibleName(placeholderText());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void InlineHotkeyCaptureField::setHasError(bool hasError)
{
    if (hasError == m_hasError)
        return;
    m_hasError = hasError;
    update();
}

QSize InlineHotkeyCaptureField::sizeHint() const
{
    return QSize(std::max(100, fontMetrics().horizontalAdvance(placeholderText()) + 16),
                 std::max(15, fontMetrics().height() + 8));
}

QSize InlineHotkeyCaptureField::minimumSizeHint() const
{
    return QSize(100, std::max(15, fontMetrics().height() + 8));
}

QFont InlineHotkeyCaptureField::shownFont() const
{
    return MiddleElidedLabel::fontFitting(font(), placeholderText(), width() - 8,
                                          DashboardHotkeyMetricCard::hotkeyTextSmallestScale);
}

void InlineHotkeyCaptureField::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    if (m_hasError) {
        QColor fill = systemRed;
        fill.setAlphaF(0.1);
        painter.fillPath(shape, fill);
        QColor stroke = systemRed;
        stroke.setAlphaF(0.55);
        painter.setPen(QPen(stroke, 1));
        painter.drawPath(shape);
    } else {
        QColor fill = palette().color(QPalette::Highlight);
        fill.setAlphaF(0.12);
        painter.fillPath(shape, fill);
    }
    painter.setPen(TextStyle::color(palette(), TextStyle::Emphasis::secondary));
    // One line in the pill: a narrow field takes smaller type, as the card's shortcut does,
    // instead of wrapping onto a second line outside it.
    const QRect textArea = rect().adjusted(4, 0, -4, 0);
    painter.setFont(shownFont());
    painter.drawText(textArea, Qt::AlignCenter | Qt::TextSingleLine, placeholderText());
}

void InlineHotkeyCaptureField::focusOutEvent(QFocusEvent* event)
{
    HotkeyCaptureView::focusOutEvent(event);
    // A menu opening over the window takes the keyboard only for a moment.
    if (event->reason() != Qt::PopupFocusReason && onFocusLost)
        onFocusLost();
}

} // namespace zen
