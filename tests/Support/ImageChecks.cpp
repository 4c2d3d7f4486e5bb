#include "Support/ImageChecks.h"

#include <QSet>

#include <cstdlib>

namespace zen::testsupport {

int colorDistance(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

int countNear(const QImage& image, const QRect& area, const QColor& color, int tolerance)
{
    const QRect bounded = area.intersected(image.rect());
    int count = 0;
    for (int y = bounded.top(); y <= bounded.bottom(); ++y)
        for (int x = bounded.left(); x <= bounded.right(); ++x)
            count += colorDistance(image.pixelColor(x, y), color) <= tolerance;
    return count;
}

bool containsColor(const QImage& image, const QRect& area, const QColor& color, int tolerance)
{
    return countNear(image, area, color, tolerance) > 0;
}

int distinctColors(const QImage& image, int step)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += step)
        for (int x = 0; x < image.width(); x += step)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

} // namespace zen::testsupport
