#include "Dashboard/DashboardPreviewStyle.h"

#include "Onboarding/TextStyle.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

#include <unordered_map>

namespace zen {

QFont DashboardPreviewStyle::font(TextStyle style, QFont::Weight weight)
{
    QFont f = QApplication::font();
    const double base = f.pointSizeF() > 0 ? f.pointSizeF() : 10.0;
    double size = base;
    switch (style) {
    case TextStyle::headline:
        size = base + 1;
        if (weight == QFont::Normal)
            weight = QFont::DemiBold;
        break;
    case TextStyle::subheadline:
        size = base;
        break;
    case TextStyle::footnote:
        size = base - 1;
        break;
    case TextStyle::caption:
        size = base - 1.5;
        break;
    case TextStyle::caption2:
        size = base - 2;
        break;
    }
    f.setPointSizeF(std::max(size, 6.0));
    f.setWeight(weight);
    return f;
}

QColor DashboardPreviewStyle::primary(const QPalette& palette)
{
    return palette.color(QPalette::WindowText);
}

QColor DashboardPreviewStyle::secondary(const QPalette& palette)
{
    return zen::TextStyle::color(palette, zen::TextStyle::Emphasis::secondary);
}

QColor DashboardPreviewStyle::tertiary(const QPalette& palette)
{
    QColor c = primary(palette);
    c.setAlphaF(0.3f);
    return c;
}

QColor DashboardPreviewStyle::quaternaryFill(const QPalette& palette)
{
    QColor c = primary(palette);
    c.setAlphaF(0.1f);
    return c;
}

QColor DashboardPreviewStyle::windowBackground(const QPalette& palette)
{
    return palette.color(QPalette::Window);
}

QColor DashboardPreviewStyle::textBackground(const QPalette& palette)
{
    return palette.color(QPalette::Base);
}

QColor DashboardPreviewStyle::underPageBackground(const QPalette& palette)
{
    const QColor window = windowBackground(palette);
    return window.lightness() > 128 ? window.darker(108) : window.lighter(125);
}

QString DashboardPreviewStyle::singleLine(const QString& text)
{
    QString line = text;
    for (QChar& c : line) {
        if (c == u'\n' || c == u'\r' || c == u'\t' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    }
    return line;
}

QLabel* DashboardPreviewStyle::label(const QString& text, TextStyle style, QFont::Weight weight, bool secondaryColor,
                                     QWidget* parent)
{
    QLabel* l = plainLabel(text, parent);
    l->setFont(font(style, weight));
    if (secondaryColor) {
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, secondary(p));
        l->setPalette(p);
    }
    return l;
}

namespace {

class BadgeLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        {
            QPainter p(this);
            const QRectF r = QRectF(rect());
            DashboardPreviewStyle::fillRounded(p, r, r.height() / 2, DashboardPreviewStyle::quaternaryFill(palette()));
        }
        QLabel::paintEvent(event);
    }
};

} // namespace

QLabel* DashboardPreviewStyle::badge(const QString& text, TextStyle style, int horizontalPadding, int verticalPadding,
                                     QWidget* parent)
{
    QLabel* l = new BadgeLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    l->setFont(font(style, QFont::Medium));
    l->setContentsMargins(horizontalPadding, verticalPadding, horizontalPadding, verticalPadding);
    l->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, secondary(p));
    l->setPalette(p);
    return l;
}

QPixmap DashboardPreviewStyle::roundedIcon(const QIcon& icon, int side, double radius, qreal devicePixelRatio)
{
    // Rows of one application share its icon; clipping it once per size is enough.
    // Asked once for every row painted: a key of plain numbers, no text to format.
    struct Key {
        qint64 icon;
        int side;
        double radius;
        qreal devicePixelRatio;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const
        {
            return qHashMulti(0, k.icon, k.side, k.radius, k.devicePixelRatio);
        }
    };
    static std::unordered_map<Key, QPixmap, KeyHash> cache;
    const Key key {icon.cacheKey(), side, radius, devicePixelRatio};
    if (const auto found = cache.find(key); found != cache.end())
        return found->second;
    QPixmap out(QSize(side, side) * devicePixelRatio);
    out.setDevicePixelRatio(devicePixelRatio);
    out.fill(Qt::transparent);
    {
        QPainter p(&out);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        QPainterPath clip;
        clip.addRoundedRect(QRectF(0, 0, side, side), radius, radius);
        p.setClipPath(clip);
        icon.paint(&p, QRect(0, 0, side, side));
    }
    cache.emplace(key, out);
    return out;
}

void DashboardPreviewStyle::fillRounded(QPainter& painter, const QRectF& rect, double radius, const QColor& fill)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(rect, radius, radius);
    painter.restore();
}

} // namespace zen
