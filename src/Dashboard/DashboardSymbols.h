#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace zen {

// The dashboard's symbols by their symbol names ("minus.circle", "checkmark.circle.fill",
// ...), drawn from the freedesktop icon theme, or painted when the theme lacks them.
class DashboardSymbols {
public:
    DashboardSymbols() = delete;

    // The icon-theme name a symbol maps to; empty for a symbol with no counterpart.
    static QString themeName(const QString& symbolName);
    // Never null: the theme's icon, else a painted stand-in.
    static QIcon icon(const QString& symbolName);
    // The symbol in one colour (symbolic icons are monochrome shapes), for the given device
    // pixel ratio.
    static QPixmap tintedPixmap(const QString& symbolName, QSize size, const QColor& tint, qreal devicePixelRatio = 1.0);
    // The painted stand-in alone.
    static QIcon paintedIcon(const QString& symbolName);

    // Without a desktop theme (bare X sessions, the offscreen platform) Qt finds no icons:
    // the maintained theme installed with the program serves as fallback. Idempotent.
    static void ensureIconTheme();
};

} // namespace zen
