#include "Dashboard/DashboardElidedLabel.h"

#include <QPainter>

#include <algorithm>

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
    // Eliding measures the whole text: a name of any length from a file is cut first to more
    // characters than the width can show (each is at least a pixel wide), its end marked.
    const int width = contentsRect().width();
    // Measured as drawn, in fractions of a pixel: the rounded measure of elidedText cut a text
    // that fits by less than a pixel.
    if (line.size() <= width && QFontMetricsF(font()).horizontalAdvance(line) <= width)
        return line;
    if (qsizetype room = std::max(width, 16); line.size() > room) {
        if (line.at(room - 1).isHighSurrogate())
            --room;
        line = line.left(room) + QChar(0x2026);
    }
    return fontMetrics().elidedText(line, Qt::ElideRight, width);
}

void DashboardElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    painter.setFont(font());
    painter.drawText(contentsRect(), int(alignment()) | Qt::TextSingleLine, shownText());
}

} // namespace zen
