#include "Dashboard/DashboardElidedLabel.h"

#include <QPainter>

namespace zen {

DashboardElidedLabel::DashboardElidedLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    // Long texts are shortened to the row's width instead of widening the sidebar.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setMinimumWidth(0);
}

QString DashboardElidedLabel::shownText() const
{
    // A line break in a stored name would otherwise start a second, invisible line.
    QString line = text();
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return fontMetrics().elidedText(line, Qt::ElideRight, contentsRect().width());
}

void DashboardElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    painter.setFont(font());
    painter.drawText(contentsRect(), int(alignment()) | Qt::TextSingleLine, shownText());
}

} // namespace zen
