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
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

namespace zen {
namespace {

using namespace testsupport;

constexpr std::uint32_t iconicState = 3; // WM_STATE and WM_CHANGE_STATE

// Where the window manager puts each frame from the moment it maps it on, told by the server's
// events on a connection of its own: a window placed a second time after it appeared is seen
// however quickly that happens.
class FramePlaces {
public:
    FramePlaces() : m_c(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_c))
            return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, screen->root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_c);
    }
    ~FramePlaces() { xcb_disconnect(m_c); }
    FramePlaces(const FramePlaces&) = delete;
    FramePlaces& operator=(const FramePlaces&) = delete;

    // The places of the frame holding `client`, from its first mapping on.
    std::vector<QPoint> of(WId client)
    {
        drain();
        const auto frame = m_frameOf.find(xcb_window_t(client));
        if (frame == m_frameOf.end())
            return {};
        return m_places[frame->second];
    }

    // The window manager's frame holding `client`, once it has put one around it.
    std::optional<xcb_window_t> frameHolding(WId client)
    {
        drain();
        const auto frame = m_frameOf.find(xcb_window_t(client));
        return frame == m_frameOf.end() ? std::nullopt : std::optional(frame->second);
    }

private:
    void drain()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_c)) {
            switch (event->response_type & 0x7F) {
            case XCB_REPARENT_NOTIFY: {
                const auto* e = reinterpret_cast<xcb_reparent_notify_event_t*>(event);
                m_frameOf[e->window] = e->parent;
                m_places[e->parent].clear();
                m_mapped.erase(e->parent);
                break;
            }
            case XCB_CONFIGURE_NOTIFY: {
                const auto* e = reinterpret_cast<xcb_configure_notify_event_t*>(event);
                m_at[e->window] = QPoint(e->x, e->y);
                auto& seen = m_places[e->window];
                if (m_mapped.contains(e->window) && (seen.empty() || seen.back() != m_at[e->window]))
                    seen.push_back(m_at[e->window]);
                break;
            }
            case XCB_CREATE_NOTIFY: {
                const auto* e = reinterpret_cast<xcb_create_notify_event_t*>(event);
                m_at[e->window] = QPoint(e->x, e->y);
                break;
            }
            case XCB_MAP_NOTIFY: {
                const auto* e = reinterpret_cast<xcb_map_notify_event_t*>(event);
                if (m_mapped.insert(e->window).second && m_at.contains(e->window))
                    m_places[e->window].push_back(m_at[e->window]);
                break;
            }
            default:
                break;
            }
            std::free(event);
        }
    }

    xcb_connection_t* m_c;
    std::map<xcb_window_t, xcb_window_t> m_frameOf;
    std::map<xcb_window_t, QPoint> m_at;
    std::set<xcb_window_t> m_mapped;
    std::map<xcb_window_t, std::vector<QPoint>> m_places;
};

struct WindowPlacementLiveTest : LiveAppTest {
    FramePlaces places;

    // The window's frame as the window manager gives it, read from the server: the window
    // grown by the frame extents the window manager put on it; empty until it has framed it.
    QRect frameOf(QWidget* window)
    {
        const auto id = xcb_window_t(window->winId());
        const QByteArray extents = x->property(id, x->atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL);
        if (extents.size() < 16 || places.of(window->winId()).empty())
            return {};
        const auto* e = reinterpret_cast<const std::uint32_t*>(extents.constData()); // left, right, top, bottom
        return x->rootGeometry(id).marginsAdded(QMargins(int(e[0]), int(e[2]), int(e[1]), int(e[3])));
    }

    // Waits until the window manager has framed the window and it has stayed put a moment;
    // its frame then.
    QRect settledFrameOf(QWidget* window)
    {
        return waitUntilSettled([&] { return frameOf(window); });
    }

    // The window opened centred on `centre` (a frame's centre rounds down by half a pixel on
    // either axis), where it was put when it was first mapped and where it stayed.
    void expectPlacedOnceCentredAt(QWidget* window, QPoint centre, const char* what, int tolerance = 2)
    {
        const QRect frame = settledFrameOf(window);
        ASSERT_FALSE(frame.isEmpty()) << what << " was never framed";
        EXPECT_LE((frame.center() - centre).manhattanLength(), tolerance)
            << what << " is not centred: " << (frame.center() - centre).manhattanLength() << " px off";
        const auto seen = places.of(window->winId());
        EXPECT_EQ(seen.size(), 1u) << what << " moved after it appeared, from " << seen.front().x() << ","
                                   << seen.front().y() << " to " << seen.back().x() << "," << seen.back().y();
    }

    // The window is on screen whole, as a person sees it before acting in it: the window
    // manager's frame is mapped at its full size. openbox un-minimizes a window by sliding its
    // frame, cut down to the title bar, back from the bottom of the monitor first.
    bool shownWhole(QWidget* window)
    {
        const auto frame = places.frameHolding(window->winId());
        if (!frame)
            return false;
        const auto attributes = xcb_get_window_attributes_reply(
            x->connection(), xcb_get_window_attributes(x->connection(), *frame), nullptr);
        const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        const QRect outer = x->rootGeometry(*frame);
        const QRect client = x->rootGeometry(xcb_window_t(window->winId()));
        return viewable && !client.isEmpty() && outer.width() >= client.width() && outer.height() >= client.height();
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
    const QPoint dashboardCentre = settledFrameOf(dashboard).center();
    EXPECT_EQ(places.of(dashboard->winId()).size(), 1u) << "the dashboard moved after it appeared";

    expectPlacedOnceCentredAt(app->onboardingWindow(), dashboardCentre, "the guide");
    shots.save(rootScreenshot(), "placement-guide");
    app->onboardingWindow()->close();

    app->openSettings();
    ASSERT_TRUE(waitFor([&] { return app->settingsWindow()->isVisible(); }));
    expectPlacedOnceCentredAt(app->settingsWindow(), dashboardCentre, "Settings");
    app->settingsWindow()->close();

    // The confirmations are dialogs of the dashboard, without minimize or maximize, centred.
    ASSERT_TRUE(waitFor([&] { return dashboard->presenter().selectedSnapshot().has_value(); }));
    dashboard->presenter().requestDeletionOfSelectedSnapshot();
    ASSERT_TRUE(waitFor([&] { return dashboard->deleteConfirmation() && dashboard->deleteConfirmation()->isVisible(); }));
    QMessageBox* confirmation = dashboard->deleteConfirmation();
    EXPECT_TRUE(waitFor([&] { return isDialogOf(confirmation, dashboard); }));
    EXPECT_TRUE(offersOnlyMoveAndClose(confirmation));
    expectNoMaximize(confirmation);
    expectPlacedOnceCentredAt(confirmation, dashboardCentre, "the delete confirmation");
    shots.save(rootScreenshot(), "placement-delete-confirmation");

    // openbox offers minimize anyway: the dashboard goes with its confirmation, and opening the
    // dashboard again (the tray's item, another launch) brings the confirmation back with it
    // rather than leaving it blocked by a hidden one, whether or not the program has heard of
    // the minimize yet.
    minimize(confirmation);
    EXPECT_TRUE(waitFor([&] { return iconic(confirmation) && iconic(dashboard); }));
    app->openOrFocusDashboard();
    EXPECT_TRUE(waitFor([&] { return !iconic(confirmation) && !iconic(dashboard); }));
    // Back where it was before anything is opened over it: until then the frame is still
    // sliding into place, and a dialog opened meanwhile is centred where it was at that moment.
    EXPECT_TRUE(waitFor([&] { return shownWhole(dashboard); })) << "the dashboard never came back whole";
    EXPECT_EQ(frameOf(dashboard).center(), dashboardCentre) << "the dashboard came back elsewhere";
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
    expectPlacedOnceCentredAt(removal, dashboardCentre, "the window-removal confirmation");
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
    expectPlacedOnceCentredAt(app->settingsWindow(), right->availableGeometry().center(),
                              "Settings on the monitor under the pointer");
    EXPECT_TRUE(right->availableGeometry().contains(settledFrameOf(app->settingsWindow())));
    app->settingsWindow()->close();
}

} // namespace
} // namespace zen

