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

namespace zen {
namespace {

TEST(DashboardAccentColorTest, FixedHuePerIdentifier)
{
    struct Case {
        QString id;
        std::uint32_t hash;
        int hue;
    };
    const std::vector<Case> cases {
        {QString(), 5381u, 341},
        {QStringLiteral("org.example.Editor"), 3311510204u, 164},
        {QStringLiteral("ORG.EXAMPLE.EDITOR"), 1734451420u, 220},
        {QStringLiteral("org.example.editor"), 268875484u, 124},
        // Scalars, not UTF-16 units: the emoji counts once.
        {QString::fromUtf8("caf\xc3\xa9.\xf0\x9f\x98\x80"), 4125543846u, 6},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DashboardAppIdentityResolver::accentHash(c.id), c.hash) << c.id.toStdString();
        const QColor color = DashboardAppIdentityResolver::accentColor(c.id);
        EXPECT_NEAR(color.hsvHueF() * 360.0, c.hue, 0.01) << c.id.toStdString();
        EXPECT_NEAR(color.hsvSaturationF(), 0.68, 0.001);
        EXPECT_NEAR(color.valueF(), 0.78, 0.001);
        EXPECT_EQ(color.alphaF(), 1.0);
    }
}

} // namespace
} // namespace zen
