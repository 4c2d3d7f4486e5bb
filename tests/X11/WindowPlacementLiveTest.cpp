// Where the program's own windows open under a real window manager: the guide and Settings
// centred over the dashboard (else on the monitor under the pointer), and the dashboard's
// confirmations as dialogs of the dashboard.
#include "App/ZentharionApp.h"
#include "Dashboard/DashboardView.h"
#include "Dashboard/DashboardWindowSupport.h"
#include "Dashboard/DashboardViewPresenter.h"
#include "Onboarding/OnboardingContainerView.h"
#include "Settings/SettingsView.h"
#include "Shared/UserDefaults.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/LiveAppTest.h"
#include "Support/LiveDesktop.h"
#include "Support/SnapshotFixtures.h"
#include "Support/TestClientProcess.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace zen {
namespace {

using namespace testsupport;

constexpr std::uint32_t iconicState = 3; // WM_STATE and WM_CHANGE_STATE

struct WindowPlacementLiveTest : LiveAppTest {
    // The window's frame as the window manager placed it (decorations included).
    QRect frameOf(QWidget* window)
    {
        pumpEventsFor(200);
        // Until the window manager's frame extents arrive, Qt reports the bare window.
        waitFor([&] { return window->frameGeometry() != window->geometry(); }, 2000);
        return window->frameGeometry();
    }

    // Waits until the window manager has framed the window with its frame's centre within
    // `tolerance` of `centre` (a frame's centre rounds down by half a pixel on either axis);
    // the distance last seen is kept for the message.
    bool centredAt(QWidget* window, QPoint centre, int& distance, int tolerance = 2)
    {
        return waitFor([&] {
            distance = (window->frameGeometry().center() - centre).manhattanLength();
            return window->frameGeometry() != window->geometry() && distance <= tolerance;
        });
    }

    bool isDialogOf(QWidget* dialog, QWidget* parent)
    {
        const auto window = xcb_window_t(dialog->winId());
        const QByteArray transient = x->property(window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW);
        const QByteArray types = x->property(window, x->atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM);
        const xcb_atom_t dialogType = x->atom("_NET_WM_WINDOW_TYPE_DIALOG");
        const bool typed = types.size() >= 4 && *reinterpret_cast<const xcb_atom_t*>(types.constData()) == dialogType;
        return transient.size() == 4 && *reinterpret_cast<const xcb_window_t*>(transient.constData()) == parent->winId()
            && typed;
    }

    // The window manager offers no minimize or maximize: the Motif hints' functions say so.
    bool offersOnlyMoveAndClose(QWidget* dialog)
    {
        const xcb_atom_t motif = x->atom("_MOTIF_WM_HINTS");
        const QByteArray hints = x->property(xcb_window_t(dialog->winId()), motif, motif);
        if (hints.size() < 8)
            return false;
        const auto* words = reinterpret_cast<const std::uint32_t*>(hints.constData());
        constexpr std::uint32_t functionsFlag = 1, minimize = 8, maximize = 16, all = 1;
        return (words[0] & functionsFlag) && !(words[1] & (minimize | maximize | all));
    }

    // What the window manager itself offers for the mapped window; its title buttons follow it.
    bool windowManagerOffers(QWidget* window, const char* action)
    {
        const QByteArray atoms = x->property(xcb_window_t(window->winId()), x->atom("_NET_WM_ALLOWED_ACTIONS"),
                                             XCB_ATOM_ATOM);
        const auto* list = reinterpret_cast<const xcb_atom_t*>(atoms.constData());
        return std::find(list, list + atoms.size() / sizeof(xcb_atom_t), x->atom(action))
            != list + atoms.size() / sizeof(xcb_atom_t);
    }

    void minimize(QWidget* window)
    {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = xcb_window_t(window->winId());
        event.type = x->atom("WM_CHANGE_STATE");
        event.data.data32[0] = iconicState;
        xcb_send_event(x->connection(), 0, x->root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(x->connection());
    }

    bool iconic(QWidget* window)
    {
        const xcb_atom_t wmState = x->atom("WM_STATE");
        const QByteArray state = x->property(xcb_window_t(window->winId()), wmState, wmState);
        return state.size() >= 4 && *reinterpret_cast<const std::uint32_t*>(state.constData()) == iconicState;
    }

    // openbox ignores the Motif bits for minimize and maximize, and offers minimize on every
    // window it manages whatever its type; maximize and resize it withdraws from a window of
    // fixed size.
    void expectNoMaximize(QWidget* dialog)
    {
        EXPECT_TRUE(waitFor([&] { return windowManagerOffers(dialog, "_NET_WM_ACTION_CLOSE"); }));
        for (const char* action : {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT", "_NET_WM_ACTION_RESIZE"})
            EXPECT_FALSE(windowManagerOffers(dialog, action)) << action;
    }
};

TEST_F(WindowPlacementLiveTest, TheGuideSettingsAndConfirmationsOpenOverTheDashboard)
{
    {
        SnapshotStore store(home.filePath("data/Zentharion/Snapshots"));
        ASSERT_TRUE(store.save(test::makeSnapshot("Work", {test::makeWindow("org.example.Editor", 1, 1),
                                                          test::makeWindow("org.example.Mail", 2, 1)}))
                        .has_value());
    }
    auto app = startApp();
    app->showDashboardAtLaunchIfNeeded();
    ASSERT_TRUE(waitFor([&] { return app->onboardingWindow() && app->onboardingWindow()->isVisible(); }));
    DashboardView* dashboard = app->dashboardWindow();
    ASSERT_TRUE(dashboard);
    const QPoint dashboardCentre = frameOf(dashboard).center();

    int distance = 0;
    EXPECT_TRUE(centredAt(app->onboardingWindow(), dashboardCentre, distance))
        << "the guide is not centred over the dashboard: " << distance << " px off";
    shots.save(rootScreenshot(), "placement-guide");
    app->onboardingWindow()->close();

    app->openSettings();
    ASSERT_TRUE(waitFor([&] { return app->settingsWindow()->isVisible(); }));
    EXPECT_TRUE(centredAt(app->settingsWindow(), dashboardCentre, distance))
        << "Settings is not centred over the dashboard: " << distance << " px off";
    app->settingsWindow()->close();

    // The confirmations are dialogs of the dashboard, without minimize or maximize, centred.
    ASSERT_TRUE(waitFor([&] { return dashboard->presenter().selectedSnapshot().has_value(); }));
    dashboard->presenter().requestDeletionOfSelectedSnapshot();
    ASSERT_TRUE(waitFor([&] { return dashboard->deleteConfirmation() && dashboard->deleteConfirmation()->isVisible(); }));
    QMessageBox* confirmation = dashboard->deleteConfirmation();
    EXPECT_TRUE(waitFor([&] { return isDialogOf(confirmation, dashboard); }));
    EXPECT_TRUE(offersOnlyMoveAndClose(confirmation));
    expectNoMaximize(confirmation);
    EXPECT_LE(std::abs(frameOf(confirmation).center().x() - dashboardCentre.x()), 8);
    shots.save(rootScreenshot(), "placement-delete-confirmation");

    // openbox offers minimize anyway: the dashboard goes with its confirmation, and opening the
    // dashboard again (the tray's item, another launch) brings the confirmation back with it
    // rather than leaving it blocked by a hidden one, whether or not the program has heard of
    // the minimize yet.
    minimize(confirmation);
    EXPECT_TRUE(waitFor([&] { return iconic(confirmation) && iconic(dashboard); }));
    app->openOrFocusDashboard();
    EXPECT_TRUE(waitFor([&] { return !iconic(confirmation) && !iconic(dashboard); }));
    confirmation->reject();

    // The window-removal confirmation is a dialog of our own, not a message box that fixes its size.
    ASSERT_TRUE(waitFor([&] { return !dashboard->deleteConfirmation(); }));
    dashboard->presenter().requestWindowRemoval(dashboard->presenter().selectedSnapshot()->windows.front());
    ASSERT_TRUE(waitFor([&] { return dashboard->windowRemovalSheet() && dashboard->windowRemovalSheet()->isVisible(); }));
    QDialog* removal = dashboard->windowRemovalSheet();
    EXPECT_TRUE(waitFor([&] { return isDialogOf(removal, dashboard); }));
    EXPECT_TRUE(offersOnlyMoveAndClose(removal));
    expectNoMaximize(removal);
    // Wide enough for its title between the window manager's icon and buttons, in its larger font.
    EXPECT_GE(removal->width(), 2 * removal->fontMetrics().horizontalAdvance(removal->windowTitle()));
    EXPECT_LE(std::abs(frameOf(removal).center().x() - dashboardCentre.x()), 8);
    shots.save(rootScreenshot(), "placement-removal-confirmation");
    removal->reject();

    // Without a dashboard on screen, Settings opens in the middle of the monitor under the pointer.
    dashboard->close();
    pumpEventsFor(200);
    QScreen* right = nullptr;
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen())
            right = screen;
    ASSERT_TRUE(right) << "the test server has two monitors";
    x->movePointer(right->geometry().center() + QPoint(100, 50));
    pumpEventsFor(200);
    app->openSettings();
    ASSERT_TRUE(waitFor([&] { return app->settingsWindow()->isVisible(); }));
    EXPECT_TRUE(centredAt(app->settingsWindow(), right->availableGeometry().center(), distance))
        << "Settings is not centred on the monitor under the pointer: " << distance << " px off";
    EXPECT_TRUE(right->availableGeometry().contains(app->settingsWindow()->frameGeometry()));
    app->settingsWindow()->close();
}

} // namespace
} // namespace zen

