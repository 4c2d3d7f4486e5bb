// GIO before any Qt header: its "signals" member names clash with Qt's keyword.
#include <gio/gdesktopappinfo.h>

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>

#include <gtest/gtest.h>

namespace {

// Run by scripts/check-install on a fresh `cmake --install` (skipped otherwise): GIO reads the
// installed entry as a desktop would, and the icon it names resolves in the installed theme.
TEST(InstalledDesktopEntryTest, GioReadsTheEntryAndItsIconResolves)
{
    const QString prefix = qEnvironmentVariable("ZEN_INSTALLED_PREFIX");
    if (prefix.isEmpty())
        GTEST_SKIP() << "runs from scripts/check-install";

    const QString entry = QDir(prefix).filePath("share/applications/zentharion.desktop");
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(QFile::encodeName(entry).constData());
    ASSERT_NE(info, nullptr) << "GIO refused the entry, or did not find its program";
    EXPECT_STREQ(g_app_info_get_name(G_APP_INFO(info)), "Zentharion");
    // The program a launch runs: Exec's first argument as the shell would split it.
    gchar** argv = nullptr;
    ASSERT_TRUE(g_shell_parse_argv(g_app_info_get_commandline(G_APP_INFO(info)), nullptr, &argv, nullptr));
    const QString executable = QString::fromUtf8(argv[0]);
    g_strfreev(argv);
    GIcon* icon = g_app_info_get_icon(G_APP_INFO(info));
    ASSERT_TRUE(icon && G_IS_THEMED_ICON(icon));
    const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(icon));
    ASSERT_TRUE(names && names[0]);
    const QString iconName = QString::fromUtf8(names[0]);
    g_object_unref(info);
    EXPECT_EQ(executable, QDir(prefix).filePath("bin/zentharion"));

    // The prefix holds only our icon; the theme's index comes with the system, as on a desktop.
    QIcon::setThemeSearchPaths({QDir(prefix).filePath("share/icons"), QStringLiteral("/usr/share/icons")});
    QIcon::setThemeName(QStringLiteral("hicolor"));
    const QIcon themed = QIcon::fromTheme(iconName);
    ASSERT_FALSE(themed.isNull()) << iconName.toStdString();
    for (const int side : {16, 64}) {
        const QImage image = themed.pixmap(side, side).toImage();
        ASSERT_EQ(image.size(), QSize(side, side));
        int opaque = 0;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                opaque += qAlpha(image.pixel(x, y)) > 0;
        EXPECT_GT(opaque, side * side / 2) << "the mark fills most of its square at " << side;
    }
}

} // namespace
