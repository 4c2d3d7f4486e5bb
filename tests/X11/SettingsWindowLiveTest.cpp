// The settings window on a real X server: each tab is drawn, and a screenshot of it is taken
// from the screen (into a temporary folder, or into $ZEN_SCREENSHOT_DIR to look at).
#include "Settings/SettingsView.h"

#include "Shared/UserDefaults.h"
#include "Support/LiveDesktop.h"
#include "Support/TestClientProcess.h"
#include "Support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zen {
namespace {

struct ApprovalPending final : LaunchAtLoginServicing {
    LaunchAtLoginServiceStatus status() const override { return LaunchAtLoginServiceStatus::requiresApproval; }
    std::expected<void, PlatformError> registerItem() override { return {}; }
    std::expected<void, PlatformError> unregisterItem() override { return {}; }
    void openLoginItemsSettings() override {}
};

using testsupport::distinctColors;
using testsupport::pumpEventsFor;

TEST(SettingsWindowLiveTest, EveryTabIsDrawnOnTheScreen)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X server";
    QTemporaryDir dir;
    const testsupport::ScreenshotFolder shots;

    UserDefaults defaults(dir.filePath("prefs.conf"));
    QDir().mkpath(dir.filePath("Logs"));
    test::writeFile(dir.filePath("Logs/events.log"), "{}\n");
    auto presenter = std::make_shared<SettingsViewPresenter>(
        std::make_shared<LaunchAtLoginController>(std::make_unique<ApprovalPending>()),
        std::make_shared<PermissionCoordinator>(AccessibilityTrustChecker([] { return false; }), [] {}),
        std::make_shared<DiagnosticLogController>(dir.filePath("Logs/events.log"), [](const QString&) { return true; },
                                                  [](const QString&) { return true; }),
        std::make_shared<SettingsNavigationController>(), std::make_shared<AppUpdateController>(),
        SettingsViewEnvironment{&defaults, [] { return SettingsBundleInfo{{}, "Zentharion", "0.1.0"}; }, {}});
    SettingsView view(presenter);
    view.show();
    pumpEventsFor(500);
    ASSERT_TRUE(view.isVisible());

    const char* names[] = {"general", "diagnostics", "about"};
    for (int tab = 0; tab < 3; ++tab) {
        view.tabs()->setCurrentIndex(tab);
        if (tab == 1)
            presenter->deleteDiagnosticLog(); // a status row to see
        pumpEventsFor(300);
        const QImage shot = view.screen()->grabWindow(view.winId()).toImage();
        ASSERT_FALSE(shot.isNull());
        EXPECT_EQ(shot.size(), view.size() * shot.devicePixelRatio());
        EXPECT_GT(distinctColors(shot, 3), 20) << names[tab] << ": the tab looks empty";
        EXPECT_TRUE(QFile::exists(shots.save(shot, QStringLiteral("settings-%1").arg(names[tab]))));
    }
}

} // namespace
} // namespace zen
