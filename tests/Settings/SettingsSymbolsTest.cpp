#include "Settings/SettingsSymbols.h"

#include <QIcon>

#include <gtest/gtest.h>

namespace zen {
namespace {

// Each symbol the window uses has a counterpart in the maintained icon theme the setup
// installs; a missing one would show as a plain disc.
TEST(SettingsSymbolsTest, EverySymbolComesFromTheIconTheme)
{
    SettingsSymbols::icon(QStringLiteral("power")); // names the theme
    for (const char* symbol : {"gearshape", "wrench.and.screwdriver", "info.circle", "power",
                               "arrow.triangle.2.circlepath", "display.2", "hand.raised.fill", "arrow.up.forward",
                               "exclamationmark.triangle.fill", "square.and.arrow.up", "trash", "checkmark.circle",
                               "chevron.right", "arrow.down.circle", "envelope"}) {
        const QString name = SettingsSymbols::themeName(QString::fromLatin1(symbol));
        ASSERT_FALSE(name.isEmpty()) << symbol;
        EXPECT_FALSE(QIcon::fromTheme(name).isNull())
            << symbol << " -> " << name.toStdString() << " in " << QIcon::themeName().toStdString() << " "
            << QIcon::themeSearchPaths().join(',').toStdString();
    }
}

} // namespace
} // namespace zen
