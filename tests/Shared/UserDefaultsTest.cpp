#include "Shared/UserDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zen;

TEST(UserDefaultsTest, RegisteredValuesAnswerOnlyUntilTheUserStoresOne)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("prefs.conf");
    {
        UserDefaults defaults(file);
        EXPECT_FALSE(defaults.boolForKey("flag"));
        EXPECT_FALSE(defaults.object("flag").has_value());
        defaults.registerDefaults({{"flag", true}});
        EXPECT_TRUE(defaults.boolForKey("flag"));
        defaults.setBool("flag", false);
        defaults.registerDefaults({{"flag", true}});
        EXPECT_FALSE(defaults.boolForKey("flag"));
        defaults.setString("name", "deferred");
    }
    // A new process sees what was stored but not what was registered.
    UserDefaults reopened(file);
    EXPECT_FALSE(reopened.boolForKey("flag"));
    EXPECT_EQ(reopened.stringForKey("name"), QStringLiteral("deferred"));
    reopened.setBool("flag", true);
    EXPECT_TRUE(reopened.boolForKey("flag"));
    reopened.removeObject("name");
    EXPECT_FALSE(reopened.stringForKey("name").has_value());
    EXPECT_FALSE(reopened.object("never").has_value());
}
