// The settings window on a real X server: each tab is drawn, and a screenshot of it is taken
// from the screen (into a temporary folder, or into $ZEN_SCREENSHOT_DIR to look at).
#include "Settings/SettingsView.h"

#include "Shared/UserDefaults.h"
#include "Support/TestFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QSet>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace zen {
namespace {

struct ApprovalPending final : LaunchAtLoginServicing {
    LaunchAtLoginServiceStatus status() const override { return LaunchAtLoginServiceStatus::requiresApproval; }
    std::expected<void, PlatformError> registerItem() override { return {}; }
    std::expected<void, PlatformError> unregisterItem() override { return {}; }
    void openLoginItemsSettings() override {}
};

void settle(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
}

TEST(SettingsWindowLiveTest, EveryTabIsDrawnOnTheScreen)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X server";
    QTemporaryDir dir;
    const QString keep = qEnvironmentVariable("ZEN_SCREENSHOT_DIR");
    const QString shots = keep.isEmpty() ? dir.path() : keep;

    UserDefaults defaults(dir.filePath("prefs.conf"));
    QDir().mkpath(dir.filePath("Logs"));
    test::writeFile(dir.filePath("Logs/events.log"), "{}\n");
    auto presenter = std::make_shared<SettingsViewPresenter>(
        std::make_shared<LaunchAtLoginController>(std::make_unique<ApprovalPending>()),
        std::make_shared<PermissionCoordinator>(AccessibilityTrustChecker([] { return false; }), [] {}),
        std::make_shared<DiagnosticLogController>(dir.filePath("Logs/events.log"), [](const QString&) {},
                                                  [](const QString&) {}),
        std::make_shared<SettingsNavigationController>(), std::make_shared<AppUpdateController>(),
        SettingsViewEnvironment{&defaults, [] { return SettingsBundleInfo{{}, "Zentharion", "0.1.0"}; }, {}});
    SettingsView view(presenter);
    view.show();
    settle(500);
    ASSERT_TRUE(view.isVisible());

    const char* names[] = {"general", "diagnostics", "about"};
    for (int tab = 0; tab < 3; ++tab) {
        view.tabs()->setCurrentIndex(tab);
        if (tab == 1)
            presenter->deleteDiagnosticLog(); // a status row to see
        settle(300);
        const QImage shot = view.screen()->grabWindow(view.winId()).toImage();
        ASSERT_FALSE(shot.isNull());
        EXPECT_EQ(shot.size(), view.size() * shot.devicePixelRatio());
        QSet<QRgb> colours;
        for (int y = 0; y < shot.height(); y += 3)
            for (int x = 0; x < shot.width(); x += 3)
                colours.insert(shot.pixel(x, y));
        EXPECT_GT(colours.size(), 20) << names[tab] << ": the tab looks empty";
        EXPECT_TRUE(shot.save(QDir(shots).filePath(QStringLiteral("settings-%1.png").arg(names[tab]))));
    }
}

} // namespace
} // namespace zen
