#include "Dashboard/DashboardRowColors.h"

#include <algorithm>
#include <cmath>

namespace zen {

namespace {

double channel(double value)
{
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c)
{
    const QColor rgb = c.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

QColor mix(const QColor& text, const QColor& background, double textShare)
{
    const QColor a = text.toRgb();
    const QColor b = background.toRgb();
    const auto blend = [textShare](float x, float y) { return float(textShare * x + (1 - textShare) * y); };
    return QColor::fromRgbF(blend(a.redF(), b.redF()), blend(a.greenF(), b.greenF()), blend(a.blueF(), b.blueF()));
}

} // namespace

double DashboardRowColors::contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor DashboardRowColors::secondary(const QColor& text, const QColor& background)
{
    // Every row of a list asks with the same two colours.
    thread_local QRgb lastText = 0;
    thread_local QRgb lastBackground = 0;
    thread_local QColor lastResult;
    if (lastResult.isValid() && lastText == text.rgba() && lastBackground == background.rgba())
        return lastResult;
    lastText = text.rgba();
    lastBackground = background.rgba();
    // Captions are small: their thin strokes are drawn partly blended with the background,
    // so the colour itself aims clearly above the minimum.
    constexpr double target = minimumContrast + 0.5;
    for (double share = 0.55; share < 1.0; share += 0.05) {
        const QColor candidate = mix(text, background, share);
        if (contrast(candidate, background) >= target)
            return lastResult = candidate;
    }
    // The text colour itself may not reach the minimum (a theme's own choice): it is the best
    // there is.
    QColor opaque = text.toRgb();
    opaque.setAlpha(255);
    return lastResult = opaque;
}

QColor DashboardRowColors::readableBackground(const QColor& text, const QColor& background)
{
    constexpr double target = minimumContrast + 0.1;
    const QColor towards = luminance(text) > 0.5 ? QColor(Qt::black) : QColor(Qt::white);
    for (double share = 0.0; share <= 1.0; share += 0.05) {
        const QColor candidate = mix(towards, background, share);
        if (contrast(text, candidate) >= target)
            return candidate;
    }
    return towards;
}

} // namespace zen
