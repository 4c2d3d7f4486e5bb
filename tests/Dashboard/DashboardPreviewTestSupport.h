#pragma once

#include "Dashboard/DashboardAppIdentityResolver.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QRect>

#include <map>

namespace zen::test {

// Applications named from a table; each gets a solid square icon of a known colour, so a
// rendering test can find the icon's pixels.
inline DashboardAppIdentityResolver makeTableResolver(std::map<QString, QString> names,
                                                      QColor iconColor = QColor(255, 0, 0))
{
    return DashboardAppIdentityResolver(
        [names = std::move(names)](const QString& id) -> std::optional<DashboardAppIdentityResolver::ApplicationEntry> {
            const auto found = names.find(id);
            if (found == names.end())
                return std::nullopt;
            return DashboardAppIdentityResolver::ApplicationEntry {found->second, id + ".desktop", QStringLiteral("solid")};
        },
        [iconColor](const QString&) {
            QPixmap pixmap(32, 32);
            pixmap.fill(iconColor);
            return QIcon(pixmap);
        });
}

// How many pixels of the area are within `tolerance` of the colour on every channel.
inline int countPixels(const QImage& image, const QRect& area, const QColor& color, int tolerance = 24)
{
    int count = 0;
    const QRect bounded = area.intersected(image.rect());
    for (int y = bounded.top(); y <= bounded.bottom(); ++y) {
        for (int x = bounded.left(); x <= bounded.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - color.red()) <= tolerance && std::abs(c.green() - color.green()) <= tolerance
                && std::abs(c.blue() - color.blue()) <= tolerance)
                ++count;
        }
    }
    return count;
}

// Pixels of the area that differ from the colour by more than `tolerance` on some channel.
inline int countOtherPixels(const QImage& image, const QRect& area, const QColor& color, int tolerance = 12)
{
    const QRect bounded = area.intersected(image.rect());
    return bounded.width() * bounded.height() - countPixels(image, bounded, color, tolerance);
}

} // namespace zen::test
