// The program's dashboard under a real X server, window manager and system tray: opened from
// the tray, focused instead of duplicated, and driven with real pointer and key events.
#include "App/ZentharionApp.h"
#include "Dashboard/DashboardDisplayWindowList.h"
#include "Dashboard/DashboardSnapshotListModel.h"
#include "Dashboard/DashboardSnapshotPresentation.h"
#include "Dashboard/DashboardSnapshotListView.h"
#include "Dashboard/DashboardView.h"
#include "Dashboard/DashboardViewPresenter.h"
#include "Dashboard/DashboardWindowObserver.h"
#include "Dashboard/DashboardWindowSupport.h"
#include "Dashboard/SidebarActionButton.h"
#include "Shared/UserDefaults.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/LiveDesktop.h"
#include "Support/TestClientProcess.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QThread>
#include <QWindow>

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace zen {
namespace {

using namespace testsupport;

struct DashboardLiveTest : ::testing::Test {
    QTemporaryDir home;
    std::unique_ptr<XSession> x;
    std::unique_ptr<ScopedXdgFolders> folders;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<TrayProcess> tray;

    void SetUp() override
    {
        if (QGuiApplication::platformName() != "xcb")
            GTEST_SKIP() << "needs an X server";
        if (!hasTool("trayer"))
            GTEST_SKIP() << "trayer is not installed";
        x = std::make_unique<XSession>();
        // The installed icon theme, as a desktop session has it (other tests hide it).
        folders = std::make_unique<ScopedXdgFolders>(home.filePath("data"), home.filePath("config"),
                                                     QByteArray("/usr/local/share:/usr/share"));
        defaults = std::make_unique<UserDefaults>(home.filePath("config/Zentharion/Zentharion.conf"));
        // A returning user: the first-launch guide would take the focus from the dashboard.
        defaults->setString("Zentharion.Onboarding.status", "completedAuthorized");
        tray = std::make_unique<TrayProcess>();
        ASSERT_TRUE(tray->started());
    }

    QWidget* trayIcon()
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (QByteArray(widget->metaObject()->className()) == "QSystemTrayIconSys")
                return widget;
        return nullptr;
    }

    // Clicks the item called `text` in the next popup menu, once that menu is on screen.
    [[nodiscard]] std::unique_ptr<QObject> chooseInNextMenu(const QString& text)
    {
        return whenShown([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
                         [this, text](QWidget* popup) {
                             auto* menu = static_cast<QMenu*>(popup);
                             for (QAction* action : menu->actions())
                                 if (action->text() == text)
                                     x->click(menu, menu->actionGeometry(action).center());
                         });
    }

    // Opens the tray menu with a click on the icon and chooses the item.
    void chooseTrayItem(const QString& title)
    {
        QWidget* icon = trayIcon();
        ASSERT_TRUE(icon);
        bool shown = false;
        bool chosen = false;
        std::vector<QMetaObject::Connection> heard;
        const auto pending = whenShown(
            [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
            [&, title](QWidget* popup) {
                auto* menu = static_cast<QMenu*>(popup);
                for (QAction* action : menu->actions())
                    if (QString(action->text()).remove(QLatin1Char('&')) == title) {
                        heard.push_back(QObject::connect(action, &QAction::triggered, [&] { chosen = true; }));
                        x->click(menu, menu->actionGeometry(action).center());
                    }
                shown = true;
            });
        x->click(x->rootPosition(icon) + QPoint(icon->width() / 2, icon->height() / 2));
        const bool opened = waitFor([&] { return shown; });
        const bool done = opened && waitFor([&] { return chosen; });
        for (const auto& connection : heard)
            QObject::disconnect(connection);
        ASSERT_TRUE(opened) << "the tray menu did not open";
        ASSERT_TRUE(done) << "\"" << title.toStdString() << "\" was not chosen";
    }

    // Saves a layout under the name through the sidebar's "New Layout" (or `ask`) and its
    // name prompt.
    void saveFromSidebar(DashboardView& view, const QString& name, std::function<void()> ask = {})
    {
        const int before = view.layoutList()->count();
        // Keys go to the window that has the focus: answer once the prompt has it.
        const auto pending = whenShown(
            []() -> QWidget* {
                QWidget* prompt = QApplication::activeModalWidget();
                return prompt && prompt->isActiveWindow() ? prompt : nullptr;
            },
            [this, name](QWidget* prompt) {
                if (auto* field = prompt->findChild<QLineEdit*>())
                    field->setText(name);
                x->key(keycode::returnKey);
            });
        if (ask)
            ask();
        else
            x->click(view.newLayoutButton(), view.newLayoutButton()->labelRect().center());
        ASSERT_TRUE(waitFor([&] { return view.layoutList()->count() == before + 1; }, 20000))
            << "no row for " << name.toStdString();
    }

    // Where the layout's row is drawn, in the list's viewport.
    static QRect rowRect(DashboardView& view, const QUuid& id)
    {
        return view.layoutList()->visualRect(view.layoutModel()->index(view.layoutModel()->rowOf(id)));
    }
    static QString nameOf(DashboardView& view, const QUuid& id)
    {
        return view.layoutModel()->index(view.layoutModel()->rowOf(id)).data().toString();
    }

    int visibleDashboards()
    {
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            count += widget->isVisible() && widget->objectName() == DashboardWindowSupport::identifier();
        return count;
    }
};

TEST_F(DashboardLiveTest, OpenedFromTheTrayItSavesRenamesAndDeletesLayouts)
{
    TestClientProcess client({"--class", "zen-dash-live,ZenDashLive", "--window", "title=Notes,geometry=400x300+1500+300"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);

    ZentharionAppDependencies dependencies = ZentharionAppDependencies::live();
    dependencies.userDefaults = defaults.get();
    dependencies.quit = [] {};
    ZentharionApp app(std::move(dependencies));
    app.showMenuBarExtra();
    ASSERT_TRUE(waitFor([&] { return trayIcon() && x->isEmbedded(trayIcon()); }))
        << "the icon never docked in the tray";
    // The tray lays its icons out after taking them in: wait until the icon stays put.
    QPoint settled;
    int samePolls = 0;
    ASSERT_TRUE(waitFor([&] {
        const QPoint now = x->rootPosition(trayIcon());
        samePolls = now == settled ? samePolls + 1 : 0;
        settled = now;
        QThread::msleep(20);
        return samePolls >= 10;
    }));
    EXPECT_FALSE(app.dashboardWindow());

    // "Open Zentharion" opens the dashboard; asking again focuses the same window.
    chooseTrayItem("Open Zentharion");
    ASSERT_TRUE(waitFor([&] { return app.dashboardWindow() && app.dashboardWindow()->isActiveWindow(); }))
        << "the dashboard did not open with focus";
    QPointer<DashboardView> view = app.dashboardWindow();
    view->showMinimized();
    ASSERT_TRUE(waitFor([&] { return view->isMinimized(); }));
    chooseTrayItem("Open Zentharion");
    EXPECT_TRUE(waitFor([&] { return !view->isMinimized() && view->isActiveWindow(); }));
    // Let the window manager finish handing the focus around before the pointer moves in.
    pumpEventsFor(500);

    // Ctrl+N, "New Layout" in the window's own menu bar, saves a layout as the sidebar's
    // button does: the row comes and is selected, in the one dashboard.
    saveFromSidebar(*view, "Morning", [&] { x->key(keycode::n, true); });
    EXPECT_EQ(app.dashboardWindow(), view.data());
    EXPECT_EQ(visibleDashboards(), 1);
    ASSERT_TRUE(view->presenter().selectedSummary());
    const QUuid morningID = view->presenter().selectedSummary()->id;
    saveFromSidebar(*view, "Evening & Night");
    ASSERT_EQ(view->layoutList()->count(), 2);
    ASSERT_TRUE(view->presenter().selectedSummary());
    EXPECT_EQ(view->presenter().selectedSummary()->name, "Evening & Night");
    ASSERT_GE(view->layoutList()->currentRow(), 0);
    EXPECT_EQ(view->layoutList()->currentIndex().data(DashboardSnapshotListModel::IdRole).toUuid(),
              view->presenter().selectedSummary()->id);

    // The window's size and the rows' texts, on screen, once the save's progress card is gone.
    ASSERT_TRUE(waitFor([&] { return !view->presenter().snapshotMenuController()->isOperating(); }));
    pumpEventsFor(800);
    const QImage screen = rootScreenshot();
    ASSERT_FALSE(screen.isNull());
    ScreenshotFolder().save(screen, "dashboard");
    const QRect frame(x->rootPosition(view), view->size());
    EXPECT_EQ(frame.size(), QSize(940, 640));
    EXPECT_TRUE(screen.rect().contains(frame)) << "the window is not fully on screen";
    EXPECT_GT(distinctColors(screen.copy(frame), 8), 4) << "the window area is blank";
    QStringList names;
    const QRegularExpression summaryLine(QStringLiteral("^[1-9][0-9]* windows • [12] displays • just now$"));
    for (int i = 0; i < 2; ++i) {
        const QModelIndex index = view->layoutModel()->index(i);
        names << index.data().toString();
        const QString summary = index.data(DashboardSnapshotListModel::SummaryRole).toString();
        EXPECT_TRUE(summaryLine.match(summary).hasMatch()) << summary.toStdString();
        const QRect row = view->layoutList()->visualRect(index);
        EXPECT_TRUE(view->layoutList()->viewport()->rect().contains(row)) << "row " << i << " is out of sight";
        EXPECT_TRUE(frame.contains(x->rootPosition(view->layoutList()->viewport()) + row.center()))
            << "row " << i << " lies outside the window";
    }
    names.sort();
    EXPECT_EQ(names, QStringList({"Evening & Night", "Morning"}));

    // Renaming in the row: a double click opens the field, Return saves the name.
    const SnapshotStore store(home.filePath("data/Zentharion/Snapshots"));
    DashboardSnapshotListView* list = view->layoutList();
    x->click(list->viewport(), rowRect(*view, morningID).topLeft() + QPoint(30, 14), 1, 2);
    const auto field = [&] { return qobject_cast<QLineEdit*>(list->renameEditor()); };
    ASSERT_TRUE(waitFor([&] { return field() && field()->hasFocus(); })) << "the rename field did not open with focus";
    field()->setText("Early Morning");
    x->key(keycode::returnKey);
    ASSERT_TRUE(waitFor([&] {
        const auto stored = store.loadSnapshot(morningID);
        return stored && stored->name == "Early Morning";
    }));
    EXPECT_EQ(view->presenter().selectedSnapshotID(), morningID);
    EXPECT_TRUE(waitFor([&] { return nameOf(*view, morningID) == "Early Morning"; }));
    EXPECT_EQ(list->renameEditor(), nullptr);

    // Deleting from the row's context menu, through the confirmation.
    const QString file = store.fileURL(morningID);
    ASSERT_TRUE(QFile::exists(file));
    const auto pending = chooseInNextMenu("Delete");
    x->click(list->viewport(), rowRect(*view, morningID).topLeft() + QPoint(30, 10), 3);
    ASSERT_TRUE(waitFor([&] { return view->deleteConfirmation() && view->deleteConfirmation()->isVisible(); }))
        << "no confirmation";
    QMessageBox* confirmation = view->deleteConfirmation();
    EXPECT_EQ(confirmation->informativeText(), "Delete \"Early Morning\"? This cannot be undone.");
    EXPECT_TRUE(QFile::exists(file)) << "nothing is deleted before the answer";
    for (QAbstractButton* button : confirmation->buttons())
        if (button->text() == "Delete")
            x->click(button);
    EXPECT_TRUE(waitFor([&] { return !QFile::exists(file); })) << "the layout file is still there";
    EXPECT_TRUE(waitFor([&] { return view->layoutList()->count() == 1; }));
    EXPECT_EQ(view->presenter().selectedSummary()->name, "Evening & Night");

    // Closing the window leaves the program running in the tray.
    view->close();
    EXPECT_TRUE(waitFor([&] { return visibleDashboards() == 0; }));
    chooseTrayItem("Open Zentharion");
    EXPECT_TRUE(waitFor([&] { return visibleDashboards() == 1; }));
}

// Evdev key positions of the keys the sidebar answers, as X keycodes.
namespace sidebarKey {
constexpr xcb_keycode_t f2 = 68, deleteKey = 119;
}

TEST_F(DashboardLiveTest, TheKeyboardRenamesRestoresAndDeletesAndTheRestoreOrderMenuMovesARow)
{
    TestClientProcess client({"--class", "zen-keys-live,ZenKeysLive", "--window", "title=Left,geometry=300x200+80+60",
                              "--window", "title=Right,geometry=300x200+420+90"});
    const std::vector<std::uint32_t> clientWindows = client.waitUntilReady();
    ASSERT_EQ(clientWindows.size(), 2u);
    pumpEventsFor(300);

    ZentharionAppDependencies dependencies = ZentharionAppDependencies::live();
    dependencies.userDefaults = defaults.get();
    dependencies.quit = [] {};
    ZentharionApp app(std::move(dependencies));
    app.showMenuBarExtra();
    ASSERT_TRUE(waitFor([&] { return trayIcon() && x->isEmbedded(trayIcon()); }));
    pumpEventsFor(500);
    chooseTrayItem("Open Zentharion");
    ASSERT_TRUE(waitFor([&] { return app.dashboardWindow() && app.dashboardWindow()->isActiveWindow(); }));
    QPointer<DashboardView> view = app.dashboardWindow();
    pumpEventsFor(500);

    const QRect savedFrame = x->rootGeometry(clientWindows[0]);
    saveFromSidebar(*view, "Keys");
    const QUuid keysID = view->presenter().selectedSummary()->id;
    saveFromSidebar(*view, "Other");
    ASSERT_TRUE(waitFor([&] { return !view->presenter().snapshotMenuController()->isOperating(); }));
    const SnapshotStore store(home.filePath("data/Zentharion/Snapshots"));
    ASSERT_EQ(store.loadSnapshot(keysID)->windows.size(), 2u);

    DashboardSnapshotListView* list = view->layoutList();
    // The row is clicked once, as a person clicks it: with the dashboard in front and holding
    // the keyboard, its list on screen, no menu open, and the last click on the row past the
    // double-click interval (a quick machine gets through a rename sooner; a second click
    // within it would open the name field, and the keys meant for the list would go there).
    QElapsedTimer sinceClick;
    const auto selectKeys = [&] {
        const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
        const bool ready = waitFor([&] {
            return activeWindow(*x) == view->winId() && view->windowHandle()->isExposed() && list->isVisible()
                && !QApplication::activePopupWidget() && (!sinceClick.isValid() || sinceClick.hasExpired(interval + 50));
        });
        if (!ready)
            return false;
        x->click(list->viewport(), rowRect(*view, keysID).topLeft() + QPoint(30, 10));
        sinceClick.start();
        return waitFor([&] { return view->presenter().selectedSnapshotID() == keysID && list->hasFocus(); });
    };
    const auto focusReport = [&] {
        QWidget* focus = QApplication::focusWidget();
        QWidget* popup = QApplication::activePopupWidget();
        return QStringLiteral("selected %1, list focus %2, window active %3, focus in %4, popup %5, X active %6 (ours %7)")
            .arg(view->presenter().selectedSnapshotID() == keysID)
            .arg(list->hasFocus())
            .arg(view->isActiveWindow())
            .arg(focus ? focus->metaObject()->className() : "none")
            .arg(popup ? popup->metaObject()->className() : "none")
            .arg(activeWindow(*x))
            .arg(view->winId())
            .toStdString();
    };

    // F2 opens the name for editing; Return stores it.
    ASSERT_TRUE(selectKeys()) << focusReport();
    x->key(sidebarKey::f2);
    const auto field = [&] { return qobject_cast<QLineEdit*>(list->renameEditor()); };
    ASSERT_TRUE(waitFor([&] { return field() && field()->hasFocus() && field()->isVisible(); }))
        << "F2 opened no field";
    field()->setText("Renamed by Keys");
    x->key(keycode::returnKey);
    ASSERT_TRUE(waitFor([&] { return store.loadSnapshot(keysID)->name == "Renamed by Keys"; }));

    // Return restores the selected layout: a window moved away comes back.
    xcb_connection_t* c = x->connection();
    const std::uint32_t away[] = {700, 400};
    xcb_configure_window(c, clientWindows[0], XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, away);
    xcb_flush(c);
    ASSERT_TRUE(waitFor([&] { return x->rootGeometry(clientWindows[0]).topLeft() != savedFrame.topLeft(); }))
        << "the window manager did not move the window";
    ASSERT_TRUE(selectKeys()) << focusReport();
    x->key(keycode::returnKey);
    EXPECT_TRUE(waitFor([&] { return x->rootGeometry(clientWindows[0]).topLeft() == savedFrame.topLeft(); }, 20000))
        << "Return restored nothing: " << x->rootGeometry(clientWindows[0]).x() << ","
        << x->rootGeometry(clientWindows[0]).y() << " not " << savedFrame.x() << "," << savedFrame.y();
    ASSERT_TRUE(waitFor([&] { return !view->presenter().snapshotMenuController()->isOperating(); }));
    // The restore brings the layout's windows forward and gives the keyboard to the front one
    // (activating its program first, which may pass through the program's other window), and a
    // person sees that happen before turning back to the dashboard: the window manager can
    // take its time over it, and would otherwise raise that window over the dashboard later.
    const std::vector<WindowRecord> saved = store.loadSnapshot(keysID)->windows;
    const auto front = std::ranges::min_element(
        saved, {}, [](const WindowRecord& w) { return w.zOrderHint.value_or(std::numeric_limits<std::int64_t>::max()); });
    const xcb_window_t frontWindow = front->windowTitle == QStringLiteral("Left") ? clientWindows[0] : clientWindows[1];
    ASSERT_TRUE(waitFor([&] { return activeWindow(*x) == frontWindow; })) << focusReport();

    // The restore-order list's context menu moves a row, and the store keeps the new order.
    DashboardDisplayWindowList* order = nullptr;
    for (DashboardDisplayWindowList* candidate : view->findChildren<DashboardDisplayWindowList*>())
        if (candidate->isVisible() && candidate->rows().size() == 2)
            order = candidate;
    ASSERT_TRUE(order) << "no restore-order list with both windows";
    for (QWidget* w = order->parentWidget(); w; w = w->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(w))
            scroll->ensureWidgetVisible(order);
    pumpEventsFor(200);
    const QUuid first = order->rows()[0].window().id;
    const auto pending = chooseInNextMenu("Move Later in Restore Order");
    x->click(order, order->rowRect(0).center(), 3);
    ASSERT_TRUE(waitFor([&] { return order->rows()[1].window().id == first; })) << "the menu moved nothing";
    EXPECT_EQ(DashboardSnapshotPresentation::windowsForDisplayList(store.loadSnapshot(keysID)->windows)[1].id, first);
    ScreenshotFolder().save(rootScreenshot(), "dashboard-keys");

    // Delete asks first; the answer removes the file.
    const QString file = store.fileURL(keysID);
    ASSERT_TRUE(selectKeys()) << focusReport();
    x->key(sidebarKey::deleteKey);
    ASSERT_TRUE(waitFor([&] { return view->deleteConfirmation() && view->deleteConfirmation()->isVisible(); }))
        << "Delete asked nothing";
    EXPECT_TRUE(QFile::exists(file));
    for (QAbstractButton* button : view->deleteConfirmation()->buttons())
        if (button->text() == "Delete")
            x->click(button);
    EXPECT_TRUE(waitFor([&] { return !QFile::exists(file); })) << "the layout file is still there";
    EXPECT_TRUE(waitFor([&] { return list->count() == 1; }));
}

// The app with the dashboard open and framed, as a returning user has it.
struct OpenDashboard {
    std::unique_ptr<ZentharionApp> app;
    QPointer<DashboardView> view;

    explicit OpenDashboard(XSession& x, UserDefaults& defaults)
    {
        ZentharionAppDependencies dependencies = ZentharionAppDependencies::live();
        dependencies.userDefaults = &defaults;
        dependencies.quit = [] {};
        app = std::make_unique<ZentharionApp>(std::move(dependencies));
        reopen(x);
    }
    bool reopen(XSession& x)
    {
        app->openOrFocusDashboard();
        view = app->dashboardWindow();
        return view && waitUntilFramed(x, view);
    }
};

// Moves a window of ours as a person's drag does: through the window manager, each step seen
// by the program before the next.
bool moveThroughWindowManager(XSession& x, QWidget& window, QPoint to)
{
    const std::uint32_t position[] = {std::uint32_t(to.x()), std::uint32_t(to.y())};
    xcb_configure_window(x.connection(), xcb_window_t(window.winId()), XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y,
                         position);
    xcb_flush(x.connection());
    // Where the window manager puts the window for that request is its own business; the move
    // is done once the window stands elsewhere and the program knows where.
    const QPoint before = window.mapToGlobal(QPoint());
    return waitFor([&] {
        const QPoint now = x.rootPosition(xcb_window_t(window.winId()));
        return now != before && window.mapToGlobal(QPoint()) == now;
    }, 5000, 5);
}

// A hundred steps of a drag replace the settings file once or twice, not a hundred times, and
// the frame where the drag ended is the one kept.
TEST_F(DashboardLiveTest, ADragStoresTheFrameOnceItHasEnded)
{
    OpenDashboard open(*x, *defaults);
    ASSERT_TRUE(open.view) << "no dashboard";
    const QString folder = home.filePath("config/Zentharion");
    const QByteArray settingsName = "Zentharion.conf";
    pumpEventsFor(DashboardWindowObserver::frameSaveDelay.count() + 500);

    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    const auto closeWatch = qScopeGuard([&] { ::close(watch); });
    ASSERT_GE(inotify_add_watch(watch, QFile::encodeName(folder).constData(), IN_MOVED_TO | IN_CLOSE_WRITE), 0);
    const QPoint start = open.view->pos();
    for (int step = 1; step <= 100; ++step)
        ASSERT_TRUE(moveThroughWindowManager(*x, *open.view, start + QPoint(step * 3, step)))
            << "step " << step << " was not carried out";
    pumpEventsFor(DashboardWindowObserver::frameSaveDelay.count() + 1000);

    // A file replaced is renamed into place; one rewritten in place is closed after writing
    // (and a replacement may be too, by the writer still holding it).
    int renamedIn = 0, closedAfterWriting = 0;
    alignas(inotify_event) char buffer[64 * 1024];
    for (ssize_t got; (got = ::read(watch, buffer, sizeof buffer)) > 0;)
        for (char* at = buffer; at < buffer + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (event->len > 0 && settingsName == event->name)
                ++((event->mask & IN_MOVED_TO) ? renamedIn : closedAfterWriting);
            at += sizeof(inotify_event) + event->len;
        }
    const int replacements = std::max(renamedIn, closedAfterWriting);
    EXPECT_GE(replacements, 1) << "the frame was never stored";
    EXPECT_LE(replacements, 3) << "a drag of 100 steps replaced the settings file " << replacements << " times";
    UserDefaults reread(folder + "/" + settingsName);
    EXPECT_EQ(reread.stringForKey(DashboardWindowSupport::frameAutosaveName()),
              QString::fromLatin1(open.view->saveGeometry().toBase64()))
        << "the frame kept is not where the drag ended";
}

// A dashboard closed or minimized on a monitor that is then unplugged comes back, within the
// same run of the program, on a monitor still there: opened again the moment the monitor goes
// (before the toolkit has heard of it), or a while later.
TEST_F(DashboardLiveTest, ReopenedAfterItsMonitorWentItOpensOnAMonitorStillThere)
{
    if (!hasTool("xrandr"))
        GTEST_SKIP() << "xrandr is not installed";
    const auto screenNamed = [](const QString& name) -> QScreen* {
        for (QScreen* screen : QGuiApplication::screens())
            if (screen->name() == name)
                return screen;
        return nullptr;
    };
    ASSERT_TRUE(screenNamed("ZEN-RIGHT") && screenNamed("ZEN-LEFT")) << "not the two-monitor desktop";
    const QRect right = screenNamed("ZEN-RIGHT")->geometry();
    const QString rightMonitor = QStringLiteral("%1/270x%2/200+%3+%4").arg(right.width()).arg(right.height()).arg(right.x()).arg(right.y());

    OpenDashboard open(*x, *defaults);
    ASSERT_TRUE(open.view) << "no dashboard";
    enum class Left { closed, closedAWhile, minimizedAWhile };
    for (const Left left : {Left::closed, Left::closedAWhile, Left::minimizedAWhile}) {
        SCOPED_TRACE(testing::Message() << "left " << int(left));
        const bool toolkitHeard = left != Left::closed;
        // Mostly on the right-hand monitor, its left edge on the other one.
        ASSERT_TRUE(moveThroughWindowManager(*x, *open.view, right.topLeft() + QPoint(-92, 60)));
        if (left == Left::minimizedAWhile) {
            minimizeWindow(*x, xcb_window_t(open.view->winId()));
            ASSERT_TRUE(waitFor([&] { return open.view->isMinimized(); }));
        } else {
            closeWindow(*x, xcb_window_t(open.view->winId()));
            ASSERT_TRUE(waitFor([&] { return !open.view->isVisible(); }));
        }

        const auto plugBackIn = qScopeGuard([&] {
            QProcess::execute("xrandr", {"--setmonitor", "ZEN-RIGHT", rightMonitor, "none"});
            waitFor([&] { return screenNamed("ZEN-RIGHT") != nullptr; });
            pumpEventsFor(300);
        });
        ASSERT_EQ(QProcess::execute("xrandr", {"--delmonitor", "ZEN-RIGHT"}), 0);
        if (toolkitHeard) {
            ASSERT_TRUE(waitFor([&] { return screenNamed("ZEN-RIGHT") == nullptr; }));
            pumpEventsFor(500);
        }
        ASSERT_TRUE(open.reopen(*x)) << "the dashboard did not come back";
        const QRect remaining = screenNamed("ZEN-LEFT")->geometry();
        QRect shown;
        const auto mostlyOnLeft = [&] {
            shown = x->rootGeometry(xcb_window_t(open.view->winId()));
            const QRect onScreen = shown.intersected(remaining);
            return 2 * qint64(onScreen.width()) * onScreen.height() > qint64(shown.width()) * shown.height();
        };
        EXPECT_TRUE(waitFor(mostlyOnLeft, 5000))
            << "only " << shown.intersected(remaining).width() << " of " << shown.width() << " px across are on the monitor left, at x = " << shown.x();
        pumpEventsFor(500);
        EXPECT_TRUE(mostlyOnLeft()) << "it did not stay there";
    }
}

} // namespace
} // namespace zen
