#include "Infrastructure/AppSupportDirectoryBootstrapper.h"
#include "Infrastructure/ZentharionSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zen;

TEST(AppSupportDirectoryBootstrapperTest, ResolvesTheFoldersUnderTheDataHomeWithoutCreatingThem)
{
    const auto b = AppSupportDirectoryBootstrapper::make(QStringLiteral("/home/u/.local/share")).value();
    EXPECT_EQ(b.rootURL(), QStringLiteral("/home/u/.local/share/Zentharion/"));
    EXPECT_EQ(b.snapshotsURL(), QStringLiteral("/home/u/.local/share/Zentharion/Snapshots/"));
    EXPECT_EQ(b.logsURL(), QStringLiteral("/home/u/.local/share/Zentharion/Logs/"));

    const auto none = AppSupportDirectoryBootstrapper::make(QString());
    ASSERT_FALSE(none.has_value());
    EXPECT_EQ(userFacingDescription(none.error()), QStringLiteral("Application Support directory could not be resolved."));
}

TEST(AppSupportDirectoryBootstrapperTest, PrepareIsRepeatableAndStopsAtAFileInTheWay)
{
    QTemporaryDir home;
    const auto b = AppSupportDirectoryBootstrapper::make(home.path() + "/deep/share").value();
    ASSERT_TRUE(b.prepare().has_value());
    ASSERT_TRUE(b.prepare().has_value());
    EXPECT_TRUE(QFileInfo(b.snapshotsURL()).isDir());
    EXPECT_TRUE(QFileInfo(b.logsURL()).isDir());

    QTemporaryDir blocked;
    QFile file(blocked.filePath("Zentharion"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const auto c = AppSupportDirectoryBootstrapper::make(blocked.path()).value();
    const auto result = c.prepare();
    ASSERT_FALSE(result.has_value());
    EXPECT_TRUE(result.error().message.contains("Zentharion"));
    EXPECT_FALSE(userFacingDescription(result.error()).isEmpty());
    EXPECT_TRUE(QFileInfo(blocked.filePath("Zentharion")).isFile());
}

TEST(ZentharionSettingsTest, DisplayChangeSuggestionsDefaultToOnUntilTheUserTurnsThemOff)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("prefs.conf"));
    const QString key = ZentharionSettings::suggestRestoreOnDisplayChangeKey;
    EXPECT_EQ(key, QStringLiteral("suggestRestoreOnDisplayChange"));
    ZentharionSettings::registerDefaults(defaults);
    EXPECT_TRUE(defaults.boolForKey(key));
    defaults.setBool(key, false);
    ZentharionSettings::registerDefaults(defaults);
    EXPECT_FALSE(defaults.boolForKey(key));
}
