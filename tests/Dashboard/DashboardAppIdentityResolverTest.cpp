#include "Dashboard/DashboardAppIdentityResolver.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace zen {
namespace {

class DashboardAppIdentityResolverTest : public ::testing::Test {
protected:
    DashboardAppIdentityResolverTest()
        : resolver([this](const QString& id) -> std::optional<QString> {
            lookups.push_back(id);
            if (const auto found = names.find(id); found != names.end())
                return found->second;
            return std::nullopt;
        })
    {
    }

    std::map<QString, QString> names {{"org.example.Editor", "Text Editor"},
                                      {"org.example.Padded", "  Calendar \n"},
                                      {"org.example.Blank", " \t "}};
    std::vector<QString> lookups;
    DashboardAppIdentityResolver resolver;
};

TEST_F(DashboardAppIdentityResolverTest, NamesByTheEntryElseByTheIdentifier)
{
    EXPECT_EQ(resolver.identity("org.example.Editor").name, "Text Editor");
    EXPECT_EQ(resolver.identity("org.example.Padded").name, "Calendar");
    EXPECT_EQ(resolver.identity("org.example.Blank").name, "org.example.Blank");
    EXPECT_EQ(resolver.identity("org.example.Missing").name, "org.example.Missing");
}

TEST_F(DashboardAppIdentityResolverTest, LooksEachIdentifierUpOnce)
{
    resolver.identity("org.example.Editor");
    resolver.identity("org.example.Missing");
    names["org.example.Missing"] = "Installed Meanwhile";
    EXPECT_EQ(resolver.identity("org.example.Editor").name, "Text Editor");
    EXPECT_EQ(resolver.identity("org.example.Missing").name, "org.example.Missing");
    EXPECT_EQ(lookups, (std::vector<QString> {"org.example.Editor", "org.example.Missing"}));
}

TEST_F(DashboardAppIdentityResolverTest, IdentifiersThatCouldNameAPathAreNeverLookedUp)
{
    for (const QString& id : {QStringLiteral("../../etc/passwd"), QStringLiteral("/usr/share/applications/x"),
                             QStringLiteral("a..b"), QString()}) {
        EXPECT_EQ(resolver.identity(id).name, id);
        EXPECT_FALSE(DashboardAppIdentityResolver::desktopEntryDisplayName(id));
    }
    EXPECT_TRUE(lookups.empty());
}

TEST(DesktopEntryDisplayNameTest, UnknownEntryHasNoName)
{
    EXPECT_FALSE(DashboardAppIdentityResolver::desktopEntryDisplayName(
        QStringLiteral("com.zentharion.tests.no-such-entry-7f3a")));
    EXPECT_EQ(DashboardAppIdentityResolver::shared().identity("com.zentharion.tests.no-such-entry-7f3a").name,
              "com.zentharion.tests.no-such-entry-7f3a");
}

} // namespace
} // namespace zen
