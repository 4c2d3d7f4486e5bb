#include "Permissions/PermissionCoordinator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace zen {
namespace {

using State = AccessibilityAuthorizationState;
using Trigger = PermissionCoordinator::RefreshTrigger;

// Every state the coordinator published, in order.
std::shared_ptr<std::vector<State>> recordChanges(PermissionCoordinator& coordinator)
{
    auto published = std::make_shared<std::vector<State>>();
    QObject::connect(&coordinator, &PermissionCoordinator::authorizationStateChanged,
                     [published](State state) { published->push_back(state); });
    return published;
}

class PermissionCoordinatorTest : public ::testing::Test {
protected:
    std::unique_ptr<PermissionCoordinator> makeCoordinator()
    {
        return std::make_unique<PermissionCoordinator>(
            AccessibilityTrustChecker([this] {
                ++trustChecks;
                return trusted;
            }),
            [this] { ++settingsOpened; });
    }

    // Delivers the queued work that activation schedules.
    static void drainEvents()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

    bool trusted = false;
    int trustChecks = 0;
    int settingsOpened = 0;
};

// It starts from one trust check, publishes only when the answer changes, and never opens
// the settings by itself.
TEST_F(PermissionCoordinatorTest, PublishesOnlyWhenTheAnswerChanges)
{
    auto coordinator = makeCoordinator();
    EXPECT_EQ(coordinator->authorizationState(), State::unauthorized);
    EXPECT_EQ(trustChecks, 1);
    const auto changes = recordChanges(*coordinator);

    EXPECT_EQ(coordinator->refreshTrust(Trigger::launch), State::unauthorized);
    EXPECT_EQ(coordinator->refreshTrust(Trigger::manualCheckAgain), State::unauthorized);
    EXPECT_EQ(changes->size(), 0u);

    trusted = true;
    EXPECT_EQ(coordinator->refreshTrust(Trigger::privilegedAction), State::authorized);
    EXPECT_EQ(coordinator->refreshTrust(Trigger::privilegedAction), State::authorized);
    ASSERT_EQ(changes->size(), 1u);
    EXPECT_EQ(changes->at(0), State::authorized);

    trusted = false;
    EXPECT_EQ(coordinator->refreshTrust(Trigger::appDidBecomeActive), State::unauthorized);
    ASSERT_EQ(changes->size(), 2u);
    EXPECT_EQ(changes->at(1), State::unauthorized);
    EXPECT_EQ(settingsOpened, 0);
    trusted = true;
    EXPECT_EQ(makeCoordinator()->authorizationState(), State::authorized);
}

TEST_F(PermissionCoordinatorTest, BecomingActiveRefreshesOnALaterTurnOfTheEventLoop)
{
    auto coordinator = makeCoordinator();
    const auto changes = recordChanges(*coordinator);
    trusted = true;

    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    drainEvents();
    EXPECT_EQ(trustChecks, 1);

    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_EQ(coordinator->authorizationState(), State::unauthorized) << "refresh must not run inside the emission";
    drainEvents();
    EXPECT_EQ(coordinator->authorizationState(), State::authorized);
    EXPECT_EQ(changes->size(), 1u);
}

TEST_F(PermissionCoordinatorTest, ActivationAfterTheCoordinatorIsGoneDoesNothing)
{
    auto coordinator = makeCoordinator();
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    coordinator.reset();
    drainEvents();
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    drainEvents();
    EXPECT_EQ(trustChecks, 1);
}

TEST_F(PermissionCoordinatorTest, OpeningSettingsRunsTheOpenerAndLeavesTheStateAlone)
{
    auto coordinator = makeCoordinator();
    const auto changes = recordChanges(*coordinator);
    trusted = true;

    coordinator->openAccessibilitySettings();
    coordinator->accessibilitySettingsOpener()();
    EXPECT_EQ(settingsOpened, 2);
    EXPECT_EQ(coordinator->authorizationState(), State::unauthorized);
    EXPECT_EQ(changes->size(), 0u);

    PermissionCoordinator withoutOpener(AccessibilityTrustChecker([] { return false; }), {});
    withoutOpener.openAccessibilitySettings(); // no opener: nothing to run, and no crash
}

TEST(AccessHelpPageTest, FoundWhereTheProgramIsInstalledOrBuiltAndNeverInTheSourceTree)
{
    QTemporaryDir programDir;
    ASSERT_TRUE(programDir.isValid());
    const auto writePage = [](const QString& path) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile page(path);
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write("<html></html>");
    };

    // Nothing next to the program: nothing, even though the sources hold the page.
    EXPECT_TRUE(PermissionCoordinator::accessHelpPagePath(programDir.path()).isEmpty());
    // A directory of that name is not a page.
    ASSERT_TRUE(QDir(programDir.path()).mkpath(QStringLiteral("docs/access.html")));
    EXPECT_TRUE(PermissionCoordinator::accessHelpPagePath(programDir.path()).isEmpty());

    // A build folder holds its copy next to the program.
    QTemporaryDir build;
    writePage(build.filePath("docs/access.html"));
    EXPECT_EQ(PermissionCoordinator::accessHelpPagePath(build.path()), QFileInfo(build.filePath("docs/access.html")).absoluteFilePath());

    // An installed program finds the page under its prefix.
    QTemporaryDir prefix;
    const QString bin = prefix.filePath("bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    writePage(prefix.filePath("share/zentharion/doc/access.html"));
    EXPECT_EQ(PermissionCoordinator::accessHelpPagePath(bin),
              QFileInfo(prefix.filePath("share/zentharion/doc/access.html")).absoluteFilePath());
}

// The copy the build puts next to its programs is the page of the sources.
TEST(AccessHelpPageTest, TheBuildCopiesThePageNextToItsPrograms)
{
    const QString page = PermissionCoordinator::accessHelpPagePath(QCoreApplication::applicationDirPath());
    ASSERT_FALSE(page.isEmpty());
    QFile file(page);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray html = file.readAll();
    EXPECT_TRUE(html.contains("Wayland"));
    EXPECT_TRUE(html.contains("EWMH"));
}

TEST(AccessHelpPageTest, AMissingPageOrOneNothingCanShowIsReported)
{
    QTemporaryDir build;
    QUrl opened;
    const auto opener = [&](bool works) {
        return [&opened, works](const QUrl& url) {
            opened = url;
            return works;
        };
    };
    EXPECT_EQ(PermissionCoordinator::openAccessHelpPage(build.path(), opener(true)),
              "The help page on window-management access is not installed.");
    EXPECT_TRUE(opened.isEmpty());

    ASSERT_TRUE(QDir().mkpath(build.filePath("docs")));
    QFile page(build.filePath("docs/access.html"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    const QString path = QFileInfo(page).absoluteFilePath();
    EXPECT_EQ(PermissionCoordinator::openAccessHelpPage(build.path(), opener(true)), std::nullopt);
    EXPECT_EQ(opened, QUrl::fromLocalFile(path));
    EXPECT_EQ(PermissionCoordinator::openAccessHelpPage(build.path(), opener(false)),
              "The help page could not be opened: no program is set up to show web pages. Open " + path
                  + " in a web browser.");
}

} // namespace
} // namespace zen
