#include "Settings/SettingsSymbols.h"

#include "Dashboard/DashboardSymbols.h"

namespace zen::SettingsSymbols {

QString themeName(const QString& symbolName)
{
    return DashboardSymbols::themeName(symbolName);
}

QIcon icon(const QString& symbolName)
{
    return DashboardSymbols::icon(symbolName);
}

QPixmap tintedPixmap(const QString& symbolName, int side, const QColor& tint)
{
    return DashboardSymbols::tintedPixmap(symbolName, QSize(side, side), tint);
}

} // namespace zen::SettingsSymbols
