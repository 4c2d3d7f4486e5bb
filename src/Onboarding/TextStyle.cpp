#include "Onboarding/TextStyle.h"

#include <QApplication>
#include <QWidget>

namespace zen::TextStyle {

namespace {

// Sizes relative to the body text, in the proportions of a common desktop type scale
// (body 13, title-2 17, large title 26 ...).
double scale(Role role)
{
    switch (role) {
    case Role::largeTitle:
        return 26.0 / 13.0;
    case Role::title2:
        return 17.0 / 13.0;
    case Role::title3:
        return 15.0 / 13.0;
    case Role::headline:
    case Role::body:
        return 1.0;
    case Role::callout:
        return 12.0 / 13.0;
    case Role::subheadline:
        return 11.0 / 13.0 + 0.02;
    case Role::caption:
        return 10.0 / 13.0 + 0.03;
    }
    return 1.0;
}

} // namespace

QFont font(Role role, const QFont& base, QFont::Weight weight)
{
    QFont result = base;
    if (base.pointSizeF() > 0)
        result.setPointSizeF(base.pointSizeF() * scale(role));
    else if (base.pixelSize() > 0)
        result.setPixelSize(std::max(1, int(base.pixelSize() * scale(role) + 0.5)));
    result.setWeight(role == Role::headline && weight == QFont::Normal ? QFont::DemiBold : weight);
    return result;
}

void apply(QWidget* widget, Role role, QFont::Weight weight)
{
    widget->setFont(font(role, QApplication::font(), weight));
}

QColor color(const QPalette& palette, Emphasis emphasis)
{
    QColor text = palette.color(QPalette::WindowText);
    switch (emphasis) {
    case Emphasis::primary:
        break;
    case Emphasis::secondary:
        text.setAlphaF(0.68);
        break;
    case Emphasis::tertiary:
        text.setAlphaF(0.45);
        break;
    }
    return text;
}

void applyColor(QWidget* widget, Emphasis emphasis)
{
    QPalette palette = widget->palette();
    const QColor c = color(QApplication::palette(), emphasis);
    palette.setColor(QPalette::WindowText, c);
    palette.setColor(QPalette::Text, c);
    palette.setColor(QPalette::ButtonText, c);
    widget->setPalette(palette);
}

} // namespace zen::TextStyle
