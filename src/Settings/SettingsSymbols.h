#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace zen::SettingsSymbols {

// The settings window's symbols by their symbol names ("power", "info.circle", ...), from the
// freedesktop icon theme, or a plain painted disc where the theme has no counterpart.
QIcon icon(const QString& symbolName);

// The symbol in one colour, `side` pixels square.
QPixmap tintedPixmap(const QString& symbolName, int side, const QColor& tint);

// The freedesktop icon name for a symbol; empty when there is none.
QString themeName(const QString& symbolName);

} // namespace zen::SettingsSymbols
