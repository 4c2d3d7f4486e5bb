#include "MenuBar/ToastTextLabel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>
#include <QTextOption>

#include <cmath>

namespace zen {

ToastTextLabel::ToastTextLabel(QString text, const QFont& font, QColor color, int maximumLines, QWidget* parent)
    : QWidget(parent), m_text(std::move(text)), m_color(color), m_maximumLines(std::max(1, maximumLines))
{
    setFont(font);
    setAttribute(Qt::WA_TranslucentBackground);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setAccessibleName(m_text);
}

ToastTextLabel::Laid ToastTextLabel::layOut(int width) const
{
    const QFontMetricsF metrics(font());
    const qreal available = std::max(1, width);
    // Every line as it would wrap, each with the rest of its paragraph from there on.
    // Paragraphs one by one: QTextLayout would take a raw newline for a glyph.
    QStringList lines;
    QStringList rests;
    for (const QString& paragraph : m_text.split(QLatin1Char('\n'))) {
        if (paragraph.isEmpty()) {
            lines << QString();
            rests << QString();
            continue;
        }
        QTextLayout layout(paragraph, font());
        QTextOption option;
        option.setWrapMode(m_maximumLines == 1 ? QTextOption::NoWrap : QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(available);
            lines << paragraph.mid(line.textStart(), line.textLength());
            rests << paragraph.mid(line.textStart());
        }
        layout.endLayout();
    }

    Laid laid;
    const qsizetype shown = std::min<qsizetype>(lines.size(), m_maximumLines);
    for (qsizetype i = 0; i < shown; ++i)
        laid.lines << lines[i];
    const qsizetype last = shown - 1;
    if (lines.size() > m_maximumLines) {
        laid.truncated = true;
        QString cut = metrics.elidedText(rests[last], Qt::ElideRight, available);
        if (!cut.endsWith(QChar(0x2026))) // the line ends its paragraph; later ones are cut
            cut = metrics.elidedText(lines[last].trimmed() + QChar(0x2026), Qt::ElideRight, available);
        laid.lines[last] = cut;
    } else if (last >= 0 && metrics.horizontalAdvance(laid.lines[last]) > available) {
        // One unbreakable line wider than the label.
        laid.truncated = true;
        laid.lines[last] = metrics.elidedText(laid.lines[last], Qt::ElideRight, available);
    }
    return laid;
}

QStringList ToastTextLabel::visibleLines(int width) const { return layOut(width).lines; }

bool ToastTextLabel::isTruncated(int width) const { return layOut(width).truncated; }

int ToastTextLabel::heightForWidth(int width) const
{
    const QFontMetricsF metrics(font());
    const int lines = std::max<qsizetype>(1, layOut(width).lines.size());
    return static_cast<int>(std::ceil(lines * metrics.lineSpacing()));
}

QSize ToastTextLabel::sizeHint() const
{
    const QFontMetricsF metrics(font());
    return {200, static_cast<int>(std::ceil(metrics.lineSpacing()))};
}

QSize ToastTextLabel::minimumSizeHint() const
{
    const QFontMetricsF metrics(font());
    return {20, static_cast<int>(std::ceil(metrics.lineSpacing()))};
}

void ToastTextLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(m_color);
    painter.setFont(font());
    const QFontMetricsF metrics(font());
    qreal y = metrics.ascent();
    for (const QString& line : layOut(width()).lines) {
        painter.drawText(QPointF(0, y), line);
        y += metrics.lineSpacing();
    }
}

} // namespace zen
