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
#include "Shared/UserDefaults.h"
#include "Support/LiveAppTest.h"
#include "Support/LiveDesktop.h"
#include "Support/TestClientProcess.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

namespace zen {
namespace {

using namespace testsupport;

struct OnboardingLiveTest : LiveAppTest {
    QString serverTitle(QWidget* window) { return x->title(xcb_window_t(window->winId())); }

    // A screenshot of the window as the X server shows it: its size, that it is drawn, and
    // that the page's words are on show.
    void checkScreenshot(QWidget* window, const QString& name, const QStringList& texts)
    {
        pumpEventsFor(300);
        const QImage image = windowScreenshot(xcb_window_t(window->winId()));
        ASSERT_FALSE(image.isNull());
        shots.save(image, name);
        EXPECT_GE(image.width(), 480);
        EXPECT_GE(image.height(), 420);
        EXPECT_GT(distinctColors(image), 8) << name.toStdString() << " looks blank";
        QStringList shown;
        for (const QLabel* label : window->findChildren<QLabel*>())
            if (label->isVisible())
                shown << label->text();
        for (const QPushButton* button : window->findChildren<QPushButton*>())
            if (button->isVisible())
                shown << button->text();
        for (const QString& text : texts)
            EXPECT_TRUE(shown.contains(text)) << name.toStdString() << ": " << text.toStdString();
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
    // This desktop has no tray: the guide points to the dashboard's menu.
    checkScreenshot(onboarding, "authorized-ready",
                    {"Zentharion is ready.",
                     "Zentharion is ready. Save your window layout and restore it anytime from the dashboard's menu or "
                     "with a keyboard shortcut.",
                     "Open Dashboard", "Done"});

    auto* ready = qobject_cast<OnboardingAuthorizedReadyStep*>(onboarding->currentPage());
    ASSERT_TRUE(waitUntilFramed(*x, onboarding));
    x->click(ready->buttons()->primaryButton());
    ASSERT_TRUE(waitFor([&] { return !onboarding || !onboarding->isVisible(); })) << "the window stayed open";
    EXPECT_TRUE(waitFor([&] { return app->dashboardWindow() && app->dashboardWindow()->isActiveWindow(); }))
        << "the dashboard was not brought forward";
    EXPECT_EQ(defaults->stringForKey("Zentharion.Onboarding.status"), QStringLiteral("completedAuthorized"));

    // The next launch starts in the tray alone.
    app.reset();
    auto second = startApp();
    second->showDashboardAtLaunchIfNeeded();
    pumpEventsFor(300);
    EXPECT_FALSE(second->onboardingWindow());
    EXPECT_FALSE(second->dashboardWindow());
}

// Where the window stands in the window manager's stacking order, bottom first; -1 when absent.
qsizetype stackingIndex(XSession& x, xcb_window_t window)
{
    const QByteArray stacking = x.property(x.root(), x.atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW);
    for (qsizetype i = 0; i + 4 <= stacking.size(); i += 4) {
        xcb_window_t listed = XCB_NONE;
        std::memcpy(&listed, stacking.constData() + i, 4);
        if (listed == window)
            return i / 4;
    }
    return -1;
}

// The guide is the dashboard's dialog: a click on the dashboard leaves it on top, where the
// screen shows it, and another launch brings it forward over a window the person went on in.
TEST_F(OnboardingLiveTest, TheGuideStaysOverTheDashboardAndAnotherLaunchBringsItForward)
{
    auto app = startApp();
    app->showMenuBarExtra();
    app->showDashboardAtLaunchIfNeeded();
    ASSERT_TRUE(waitFor([&] { return app->onboardingWindow() && app->onboardingWindow()->isVisible(); }));
    QPointer<OnboardingContainerView> guide = app->onboardingWindow();
    QPointer<DashboardView> dashboard = app->dashboardWindow();
    ASSERT_TRUE(dashboard);
    ASSERT_TRUE(waitUntilFramed(*x, dashboard));
    ASSERT_TRUE(waitUntilFramed(*x, guide));
    const auto dashboardID = xcb_window_t(dashboard->winId()), guideID = xcb_window_t(guide->winId());
    const auto guideOnTop = [&](xcb_window_t below) { return stackingIndex(*x, guideID) > stackingIndex(*x, below); };

    // The sidebar's empty list, clear of the guide centred over the dashboard.
    const QPoint aside(40, dashboard->height() / 2);
    ASSERT_FALSE(QRect(guide->mapToGlobal(QPoint()), guide->size()).contains(dashboard->mapToGlobal(aside)));
    x->click(dashboard, aside);
    ASSERT_TRUE(waitFor([&] { return activeWindow(*x) == dashboardID; })) << "the click did not reach the dashboard";
    pumpEventsFor(300);
    EXPECT_TRUE(guideOnTop(dashboardID)) << "the click buried the guide";
    // What the screen shows where the guide is: the guide's own pixels.
    const QImage onScreen = x->grab(QRect(x->rootPosition(guide), guide->size()));
    const QImage drawn = guide->grab().toImage().convertToFormat(onScreen.format());
    shots.save(x->grab(x->rootGeometry(dashboardID).united(QRect(x->rootPosition(guide), guide->size()))),
               "guide-over-dashboard");
    ASSERT_EQ(onScreen.size(), drawn.size());
    int same = 0;
    for (int row = 0; row < drawn.height(); row += 4)
        for (int column = 0; column < drawn.width(); column += 4)
            same += onScreen.pixel(column, row) == drawn.pixel(column, row);
    EXPECT_GT(same, (drawn.width() / 4) * (drawn.height() / 4) * 98 / 100) << "the screen does not show the guide";

    // The person goes on in another program over both; another launch brings the guide forward.
    const QRect area(x->rootPosition(guide), guide->size());
    TestClientProcess other({"--class", "zen-guide-cover,ZenGuideCover", "--window",
                             QStringLiteral("title=Cover,geometry=%1x%2+%3+%4")
                                 .arg(area.width()).arg(area.height()).arg(area.x()).arg(area.y())});
    const auto cover = other.waitUntilReady();
    ASSERT_EQ(cover.size(), 1u);
    ASSERT_TRUE(waitFor([&] { return activeWindow(*x) == cover[0] && !guideOnTop(cover[0]); }));
    app->answerAnotherLaunch(false);
    EXPECT_TRUE(waitFor([&] { return activeWindow(*x) == guideID; })) << "the guide did not get the keyboard";
    EXPECT_TRUE(guideOnTop(cover[0]));
    EXPECT_TRUE(guideOnTop(dashboardID));
}

TEST_F(OnboardingLiveTest, SaveWithoutAWindowManagerLeadsThroughTheAccessPage)
{
    const QString config = windowManagerConfigFile();
    ASSERT_TRUE(stopWindowManager()) << "openbox did not leave";
    struct Restart {
        QString config;
        bool needed = true;
        ~Restart()
        {
            if (needed)
                startWindowManager(config);
        }
    } restart{config};

    // The first launch without access greets first; "Get Started" leads to the access page.
    auto app = startApp();
    app->showDashboardAtLaunchIfNeeded();
    ASSERT_TRUE(waitFor([&] { return app->onboardingWindow() && app->onboardingWindow()->isVisible(); }));
    EXPECT_TRUE(waitFor([&] { return serverTitle(app->onboardingWindow()) == "Welcome to Zentharion"; }));
    auto* welcome = qobject_cast<OnboardingWelcomeStep*>(app->onboardingWindow()->currentPage());
    ASSERT_TRUE(welcome);
    checkScreenshot(app->onboardingWindow(), "welcome",
                    {"Zentharion",
                     "Save your window layout. Restore it anytime from the dashboard's menu or with a keyboard shortcut.",
                     "Get Started"});
    x->click(welcome->getStartedButton());
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
    EXPECT_TRUE(waitFor([&] { return serverTitle(onboarding) == "Zentharion - Window Access Required"; }));
    auto* education = qobject_cast<OnboardingPermissionEducationView*>(onboarding->currentPage());
    ASSERT_TRUE(education);
    EXPECT_FALSE(education->showsSuccess());
    checkScreenshot(onboarding, "permission", {"Window Access Required", "Check Again"});

    // Still no window manager: checking again changes nothing.
    x->click(education->checkAgainButton());
    pumpEventsFor(300);
    EXPECT_FALSE(education->showsSuccess());

    // The new window manager frames the window as it starts, moving it: the button is clicked
    // once, when the frame holds the window still. The click also focuses the window, and the
    // program checks again as it becomes active, so either path shows the success face; without
    // the click neither runs.
    ASSERT_TRUE(startWindowManager(config));
    ASSERT_TRUE(waitUntilFramed(*x, onboarding)) << "the window manager did not frame the window";
    x->click(education->checkAgainButton());
    ASSERT_TRUE(waitFor([&] { return education->showsSuccess(); })) << "no success face after the check";
    EXPECT_EQ(onboarding->currentPage(), education);
    ASSERT_TRUE(waitFor([&] { return qobject_cast<OnboardingReadyStep*>(onboarding->currentPage()); }, 5000));
    checkScreenshot(onboarding, "ready",
                    {"You're ready to save your first layout.", "Open Dashboard", "Done"});
    restart.needed = false;
}

} // namespace
} // namespace zen
