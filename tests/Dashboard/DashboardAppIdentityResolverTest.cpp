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

#include <QPixmap>
#include <QTemporaryDir>

namespace zen {
namespace {

using Entry = DashboardAppIdentityResolver::ApplicationEntry;

class DashboardAppIdentityEntryTest : public ::testing::Test {
protected:
    DashboardAppIdentityEntryTest()
        : resolver(
              [this](const QString& id) -> std::optional<Entry> {
                  lookups.push_back(id);
                  if (const auto found = entries.find(id); found != entries.end())
                      return found->second;
                  return std::nullopt;
              },
              [this](const QString& iconName) {
                  iconRequests.push_back(iconName);
                  if (iconName != QLatin1String("known"))
                      return QIcon();
                  QPixmap pixmap(16, 16);
                  pixmap.fill(Qt::blue);
                  return QIcon(pixmap);
              })
    {
    }

    std::map<QString, Entry> entries {
        {"org.example.Named", {QStringLiteral("  Text Editor "), "/usr/share/applications/org.example.Named.desktop", "known"}},
        {"org.example.Blank", {QStringLiteral(" \n "), "/usr/share/applications/Blank Tool.desktop", "missing"}},
        {"org.example.NoName", {std::nullopt, "/opt/apps/no-name.desktop", std::nullopt}},
        {"org.example.Nothing", {QStringLiteral(" "), "/opt/apps/ .desktop", QString()}},
    };
    std::vector<QString> lookups;
    std::vector<QString> iconRequests;
    DashboardAppIdentityResolver resolver;
};

TEST_F(DashboardAppIdentityEntryTest, NameFallsBackFromEntryNameToFileNameToIdentifier)
{
    struct Case {
        QString id;
        QString name;
    };
    const std::vector<Case> cases {
        {"org.example.Named", "Text Editor"},
        {"org.example.Blank", "Blank Tool"},
        {"org.example.NoName", "no-name"},
        {"org.example.Nothing", "org.example.Nothing"},
        {"org.example.NotInstalled", "org.example.NotInstalled"},
    };
    for (const Case& c : cases) {
        const DashboardAppIdentity identity = resolver.identity(c.id);
        EXPECT_EQ(identity.name, c.name) << c.id.toStdString();
        EXPECT_EQ(identity.bundleIdentifier, c.id);
        EXPECT_EQ(identity.accentColor, DashboardAppIdentityResolver::accentColor(c.id));
        EXPECT_FALSE(identity.icon.isNull()) << c.id.toStdString();
    }
}

TEST_F(DashboardAppIdentityEntryTest, IconFromTheEntryElseTheGenericIcon)
{
    const QImage own = resolver.identity("org.example.Named").icon.pixmap(16, 16).toImage();
    EXPECT_EQ(own.pixelColor(8, 8), QColor(Qt::blue));
    const QIcon generic = DashboardAppIdentityResolver::genericApplicationIcon();
    EXPECT_FALSE(generic.isNull());
    EXPECT_EQ(resolver.identity("org.example.Blank").icon.cacheKey(), generic.cacheKey());
    EXPECT_EQ(resolver.identity("org.example.NotInstalled").icon.cacheKey(), generic.cacheKey());
    // No icon name, or an empty one, is never handed to the loader.
    resolver.identity("org.example.NoName");
    resolver.identity("org.example.Nothing");
    EXPECT_EQ(iconRequests, (std::vector<QString> {"known", "missing"}));
}

TEST_F(DashboardAppIdentityEntryTest, CachedPerExactIdentifier)
{
    const DashboardAppIdentity first = resolver.identity("org.example.Named");
    entries.erase("org.example.Named");
    const DashboardAppIdentity again = resolver.identity("org.example.Named");
    EXPECT_EQ(again.name, first.name);
    EXPECT_EQ(again.icon.cacheKey(), first.icon.cacheKey());
    EXPECT_EQ(lookups.size(), 1u);

    // Letter case makes another application with its own colour.
    const DashboardAppIdentity lower = resolver.identity("org.example.named");
    EXPECT_EQ(lookups.size(), 2u);
    EXPECT_EQ(lower.name, "org.example.named");
    EXPECT_NE(lower.accentColor, first.accentColor);
}

TEST(DashboardAppIdentityIconTest, IconFilesMustBeRegularFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString png = dir.filePath("icon.png");
    QPixmap pixmap(8, 8);
    pixmap.fill(Qt::green);
    ASSERT_TRUE(pixmap.save(png));
    EXPECT_FALSE(DashboardAppIdentityResolver::themeIcon(png).isNull());
    EXPECT_TRUE(DashboardAppIdentityResolver::themeIcon(dir.path()).isNull());
    EXPECT_TRUE(DashboardAppIdentityResolver::themeIcon(dir.filePath("absent.png")).isNull());
    EXPECT_TRUE(DashboardAppIdentityResolver::themeIcon(QStringLiteral("/dev/zero")).isNull());
    EXPECT_TRUE(DashboardAppIdentityResolver::themeIcon(QStringLiteral("zentharion-no-such-icon-name")).isNull());
}

} // namespace
} // namespace zen
