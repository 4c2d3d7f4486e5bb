// The onboarding window of the program under a real X server: the first launch greets the
// user over the dashboard and hands over to it; a later launch starts quietly; a save refused
// because no window manager runs opens the access page, which turns to its success face and
// then to the ready page once a window manager is back and the user checks again.
#include "App/ZentharionApp.h"
#include "Dashboard/DashboardView.h"
#include "Onboarding/OnboardingContainerView.h"
#include "Onboarding/OnboardingController.h"
#include "Onboarding/OnboardingPermissionEducationView.h"
#include "Onboarding/OnboardingStepViews.h"
#include "Permissions/AccessibilityTrustChecker.h"
#include "Shared/UserDefaults.h"
#include "Support/TestClientProcess.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace zen {
namespace {

bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return true;
}

struct OnboardingLiveTest : ::testing::Test {
    QTemporaryDir home;
    xcb_connection_t* x = nullptr;
    xcb_window_t root = 0;
    std::unique_ptr<UserDefaults> defaults;
    QByteArray savedData, savedConfig;

    void SetUp() override
    {
        if (QGuiApplication::platformName() != "xcb")
            GTEST_SKIP() << "needs an X server";
        x = xcb_connect(nullptr, nullptr);
        root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
        savedData = qgetenv("XDG_DATA_HOME");
        savedConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        defaults = std::make_unique<UserDefaults>(home.filePath("config/Zentharion/Zentharion.conf"));
    }

    void TearDown() override
    {
        if (!x)
            return;
        qputenv("XDG_DATA_HOME", savedData);
        qputenv("XDG_CONFIG_HOME", savedConfig);
        xcb_disconnect(x);
    }

    std::unique_ptr<ZentharionApp> startApp()
    {
        ZentharionAppDependencies dependencies = ZentharionAppDependencies::live();
        dependencies.userDefaults = defaults.get();
        dependencies.quit = [] {};
        return std::make_unique<ZentharionApp>(std::move(dependencies));
    }

    void click(QWidget* widget)
    {
        const QPoint global = widget->mapToGlobal(widget->rect().center());
        xcb_test_fake_input(x, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, std::int16_t(global.x()),
                            std::int16_t(global.y()), 0);
        xcb_flush(x);
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        xcb_test_fake_input(x, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(x, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(x);
    }

    // The title the X server holds for the window, as other programs read it.
    QString serverTitle(QWidget* window)
    {
        auto atom = [&](const char* name) {
            auto* reply = xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, std::uint16_t(strlen(name)), name), nullptr);
            const xcb_atom_t value = reply ? reply->atom : XCB_ATOM_NONE;
            std::free(reply);
            return value;
        };
        auto* reply = xcb_get_property_reply(
            x, xcb_get_property(x, 0, xcb_window_t(window->winId()), atom("_NET_WM_NAME"), atom("UTF8_STRING"), 0, 1024),
            nullptr);
        QString title;
        if (reply)
            title = QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply)),
                                      xcb_get_property_value_length(reply));
        std::free(reply);
        return title;
    }

    // A screenshot of the window as the X server shows it: its size, that it is drawn, and
    // that the page's words are on show. The image is kept only when asked to.
    void checkScreenshot(QWidget* window, const QString& name, const QStringList& texts)
    {
        testsupport::pumpEventsFor(300);
        const QString shot = home.filePath(name + ".png");
        ASSERT_EQ(QProcess::execute("import", {"-window", QString::number(window->winId()), shot}), 0);
        const QImage image(shot);
        ASSERT_FALSE(image.isNull());
        EXPECT_GE(image.width(), 480);
        EXPECT_GE(image.height(), 420);
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 4)
            for (int x0 = 0; x0 < image.width(); x0 += 4)
                colours.insert(image.pixel(x0, y));
        EXPECT_GT(colours.size(), 8) << name.toStdString() << " looks blank";
        QStringList shown;
        for (const QLabel* label : window->findChildren<QLabel*>())
            if (label->isVisible())
                shown << label->text();
        for (const QPushButton* button : window->findChildren<QPushButton*>())
            if (button->isVisible())
                shown << button->text();
        for (const QString& text : texts)
            EXPECT_TRUE(shown.contains(text)) << name.toStdString() << ": " << text.toStdString();
        if (const QByteArray keep = qgetenv("ZEN_KEEP_SCREENSHOTS"); !keep.isEmpty())
            QFile::copy(shot, QString::fromLocal8Bit(keep) + "/" + name + ".png");
    }

    // Asks the running window manager to leave, and says whether it did.
    bool stopWindowManager()
    {
        if (QProcess::execute("openbox", {"--exit"}) != 0)
            return false;
        return waitFor([] { return !AccessibilityTrustChecker().isTrusted(); });
    }

    // Starts openbox again with the configuration the test server gave it.
    bool startWindowManager(const QString& configFile)
    {
        QStringList arguments{"--sm-disable"};
        if (!configFile.isEmpty())
            arguments << "--config-file" << configFile;
        // Its themes live in the system data folders, which the tests hide from themselves.
        QProcess openbox;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
        openbox.setProcessEnvironment(environment);
        openbox.setProgram("openbox");
        openbox.setArguments(arguments);
        openbox.setStandardOutputFile(QProcess::nullDevice());
        openbox.setStandardErrorFile(QProcess::nullDevice());
        if (!openbox.startDetached())
            return false;
        return waitFor([] { return AccessibilityTrustChecker().isTrusted(); });
    }

    QString windowManagerConfigFile()
    {
        QProcess xprop;
        xprop.start("xprop", {"-root", "-notype", "_OB_CONFIG_FILE"});
        xprop.waitForFinished();
        const QString out = QString::fromUtf8(xprop.readAllStandardOutput());
        const qsizetype open = out.indexOf('"');
        const qsizetype close = out.lastIndexOf('"');
        return open >= 0 && close > open ? out.mid(open + 1, close - open - 1) : QString();
    }
};

TEST_F(OnboardingLiveTest, FirstLaunchGreetsOverTheDashboardAndHandsOverToIt)
{
    auto app = startApp();
    app->showMenuBarExtra();
    app->showDashboardAtLaunchIfNeeded();
    ASSERT_TRUE(waitFor([&] { return app->onboardingWindow() && app->onboardingWindow()->isVisible(); }))
        << "the first launch showed no onboarding";
    ASSERT_TRUE(app->dashboardWindow());
    QPointer<OnboardingContainerView> onboarding = app->onboardingWindow();
    EXPECT_TRUE(waitFor([&] { return serverTitle(onboarding) == "Welcome to Zentharion"; }));
    EXPECT_EQ(onboarding->size(), OnboardingContainerView::defaultSize);
    // Access is there from the start: the greeting goes straight to the ready page.
    ASSERT_TRUE(qobject_cast<OnboardingAuthorizedReadyStep*>(onboarding->currentPage()));
    checkScreenshot(onboarding, "authorized-ready",
                    {"Zentharion is ready.",
                     "Zentharion is ready. Save your window layout and restore it anytime from the menu bar or with "
                     "a keyboard shortcut.",
                     "Open Dashboard", "Done"});

    auto* ready = qobject_cast<OnboardingAuthorizedReadyStep*>(onboarding->currentPage());
    click(ready->buttons()->primaryButton());
    ASSERT_TRUE(waitFor([&] { return !onboarding || !onboarding->isVisible(); })) << "the window stayed open";
    EXPECT_TRUE(waitFor([&] { return app->dashboardWindow() && app->dashboardWindow()->isActiveWindow(); }))
        << "the dashboard was not brought forward";
    EXPECT_EQ(defaults->stringForKey("Zentharion.Onboarding.status"), QStringLiteral("completedAuthorized"));

    // The next launch starts in the tray alone.
    app.reset();
    auto second = startApp();
    second->showDashboardAtLaunchIfNeeded();
    testsupport::pumpEventsFor(300);
    EXPECT_FALSE(second->onboardingWindow());
    EXPECT_FALSE(second->dashboardWindow());
}

TEST_F(OnboardingLiveTest, SaveWithoutAWindowManagerLeadsThroughTheAccessPage)
{
    const QString config = windowManagerConfigFile();
    ASSERT_TRUE(stopWindowManager()) << "openbox did not leave";
    struct Restart {
        OnboardingLiveTest* test;
        QString config;
        ~Restart()
        {
            if (test)
                test->startWindowManager(config);
        }
    } restart{this, config};

    // The first launch without access greets first; "Get Started" leads to the access page.
    auto app = startApp();
    app->showDashboardAtLaunchIfNeeded();
    ASSERT_TRUE(waitFor([&] { return app->onboardingWindow() && app->onboardingWindow()->isVisible(); }));
    EXPECT_TRUE(waitFor([&] { return serverTitle(app->onboardingWindow()) == "Welcome to Zentharion"; }));
    auto* welcome = qobject_cast<OnboardingWelcomeStep*>(app->onboardingWindow()->currentPage());
    ASSERT_TRUE(welcome);
    checkScreenshot(app->onboardingWindow(), "welcome",
                    {"Zentharion",
                     "Save your window layout. Restore it anytime from the menu bar or with a keyboard shortcut.",
                     "Get Started"});
    click(welcome->getStartedButton());
    ASSERT_TRUE(waitFor(
        [&] { return qobject_cast<OnboardingPermissionEducationView*>(app->onboardingWindow()->currentPage()); }));
    app->onboardingWindow()->close();
    ASSERT_TRUE(waitFor([&] { return !app->onboardingWindow(); }));
    EXPECT_EQ(defaults->stringForKey("Zentharion.Onboarding.status"), QStringLiteral("deferred"));

    // A save from the tray, refused for lack of access, opens the window on the access page.
    app->performMenuBarAction(MenuBarAction::saveCurrentLayout);
    ASSERT_TRUE(waitFor([&] { return app->onboardingWindow() && app->onboardingWindow()->isVisible(); }))
        << "a refused save opened no onboarding window";
    QPointer<OnboardingContainerView> onboarding = app->onboardingWindow();
    EXPECT_TRUE(waitFor([&] { return serverTitle(onboarding) == "Zentharion - Accessibility Required"; }));
    auto* education = qobject_cast<OnboardingPermissionEducationView*>(onboarding->currentPage());
    ASSERT_TRUE(education);
    EXPECT_FALSE(education->showsSuccess());
    checkScreenshot(onboarding, "permission", {"Accessibility Access Required", "Check Again"});

    // Still no window manager: checking again changes nothing.
    click(education->checkAgainButton());
    testsupport::pumpEventsFor(300);
    EXPECT_FALSE(education->showsSuccess());

    ASSERT_TRUE(startWindowManager(config));
    click(education->checkAgainButton());
    ASSERT_TRUE(waitFor([&] { return education->showsSuccess(); })) << "no success face after the check";
    EXPECT_EQ(onboarding->currentPage(), education);
    ASSERT_TRUE(waitFor([&] { return qobject_cast<OnboardingReadyStep*>(onboarding->currentPage()); }, 5000));
    checkScreenshot(onboarding, "ready",
                    {"You're ready to save your first layout.", "Open Dashboard", "Done"});
    restart.config.clear();
    restart.test = nullptr;
}

} // namespace
} // namespace zen
