// The program's dashboard under a real X server, window manager and system tray: opened from
// the tray, focused instead of duplicated, and driven with real pointer and key events.
#include "App/ZentharionApp.h"
#include "Dashboard/DashboardSnapshotRow.h"
#include "Dashboard/DashboardView.h"
#include "Dashboard/DashboardViewPresenter.h"
#include "Dashboard/DashboardWindowSupport.h"
#include "Dashboard/SidebarActionButton.h"
#include "Shared/UserDefaults.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/TestClientProcess.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace zen {
namespace {

using testsupport::TestClientProcess;

constexpr xcb_keycode_t keyReturn = 36, keyControl = 37, keyN = 57;

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

// Runs `act` once `find` yields a widget, polling from the event loop, so it also works while
// a modal dialog or a popup menu runs its own loop.
void whenShown(std::function<QWidget*()> find, std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, find = std::move(find), act = std::move(act)] {
        if (QWidget* widget = find(); widget && widget->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(widget);
        }
    });
    timer->start();
}

struct DashboardLiveTest : ::testing::Test {
    QTemporaryDir home;
    xcb_connection_t* x = nullptr;
    xcb_window_t root = 0;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<QProcess> tray;
    QByteArray savedData, savedConfig, savedDataDirs;

    void SetUp() override
    {
        if (QGuiApplication::platformName() != "xcb")
            GTEST_SKIP() << "needs an X server";
        if (QStandardPaths::findExecutable("trayer").isEmpty())
            GTEST_SKIP() << "trayer is not installed";
        x = xcb_connect(nullptr, nullptr);
        root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
        savedData = qgetenv("XDG_DATA_HOME");
        savedConfig = qgetenv("XDG_CONFIG_HOME");
        savedDataDirs = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        // The installed icon theme, as a desktop session has it (other tests hide it).
        qputenv("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        defaults = std::make_unique<UserDefaults>(home.filePath("config/Zentharion/Zentharion.conf"));
        // A returning user: the first-launch guide would take the focus from the dashboard.
        defaults->setString("Zentharion.Onboarding.status", "completedAuthorized");
        tray = std::make_unique<QProcess>();
        tray->start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
        ASSERT_TRUE(tray->waitForStarted());
    }

    void TearDown() override
    {
        if (tray) {
            tray->terminate();
            tray->waitForFinished(5000);
        }
        if (x) {
            qputenv("XDG_DATA_HOME", savedData);
            qputenv("XDG_CONFIG_HOME", savedConfig);
            qputenv("XDG_DATA_DIRS", savedDataDirs);
            xcb_disconnect(x);
        }
    }

    void key(xcb_keycode_t code, bool withControl = false)
    {
        if (withControl)
            xcb_test_fake_input(x, XCB_KEY_PRESS, keyControl, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(x, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(x, XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        if (withControl)
            xcb_test_fake_input(x, XCB_KEY_RELEASE, keyControl, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(x);
    }

    void click(QPoint global, std::uint8_t button = 1, int count = 1)
    {
        xcb_test_fake_input(x, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, std::int16_t(global.x()),
                            std::int16_t(global.y()), 0);
        xcb_flush(x);
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        for (int i = 0; i < count; ++i) {
            xcb_test_fake_input(x, XCB_BUTTON_PRESS, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
            xcb_test_fake_input(x, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        }
        xcb_flush(x);
    }

    void click(QWidget* widget, QPoint local, std::uint8_t button = 1, int count = 1)
    {
        click(widget->mapToGlobal(local), button, count);
    }

    // Where the X server has the window now (an embedded tray icon is no top-level to Qt).
    QPoint rootPosition(QWidget* widget)
    {
        auto* reply = xcb_translate_coordinates_reply(
            x, xcb_translate_coordinates(x, xcb_window_t(widget->winId()), root, 0, 0), nullptr);
        const QPoint at = reply ? QPoint(reply->dst_x, reply->dst_y) : QPoint();
        std::free(reply);
        return at;
    }

    bool isEmbedded(QWidget* widget)
    {
        auto* tree = xcb_query_tree_reply(x, xcb_query_tree(x, xcb_window_t(widget->winId())), nullptr);
        const bool embedded = tree && tree->parent != root;
        std::free(tree);
        return embedded;
    }

    QWidget* trayIcon()
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (QByteArray(widget->metaObject()->className()) == "QSystemTrayIconSys")
                return widget;
        return nullptr;
    }

    // Opens the tray menu with a click on the icon and chooses the item.
    void chooseTrayItem(const QString& title)
    {
        QWidget* icon = trayIcon();
        ASSERT_TRUE(icon);
        bool chosen = false;
        whenShown([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
                  [&, title](QWidget* popup) {
                      auto* menu = static_cast<QMenu*>(popup);
                      for (QAction* action : menu->actions())
                          if (action->text() == title)
                              click(menu, menu->actionGeometry(action).center());
                      chosen = true;
                  });
        click(rootPosition(icon) + QPoint(icon->width() / 2, icon->height() / 2));
        ASSERT_TRUE(waitFor([&] { return chosen; })) << "the tray menu did not open";
    }

    // Saves a layout under the name through the sidebar's "New Layout" and its name prompt.
    void saveFromSidebar(DashboardView& view, const QString& name)
    {
        const int before = view.layoutList()->count();
        // Keys go to the window that has the focus: answer once the prompt has it.
        whenShown([]() -> QWidget* {
                      QWidget* prompt = QApplication::activeModalWidget();
                      return prompt && prompt->isActiveWindow() ? prompt : nullptr;
                  },
                  [this, name](QWidget* prompt) {
                      if (auto* field = prompt->findChild<QLineEdit*>())
                          field->setText(name);
                      key(keyReturn);
                  });
        click(view.newLayoutButton(), view.newLayoutButton()->labelRect().center());
        ASSERT_TRUE(waitFor([&] { return view.layoutList()->count() == before + 1; }, 20000))
            << "no row for " << name.toStdString();
    }

    static DashboardSnapshotRow* rowOf(DashboardView& view, const QUuid& id)
    {
        for (int i = 0; i < view.layoutList()->count(); ++i)
            if (view.row(i)->snapshot().id == id)
                return view.row(i);
        return nullptr;
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
    ASSERT_TRUE(waitFor([&] { return trayIcon() && isEmbedded(trayIcon()); }))
        << "the icon never docked in the tray";
    // The tray lays its icons out after taking them in: wait until the icon stays put.
    QPoint settled;
    int samePolls = 0;
    ASSERT_TRUE(waitFor([&] {
        const QPoint now = rootPosition(trayIcon());
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
    key(keyN, true); // "Open Dashboard" in the window's own menu bar
    QApplication::processEvents(QEventLoop::AllEvents, 200);
    EXPECT_EQ(app.dashboardWindow(), view.data());
    EXPECT_EQ(visibleDashboards(), 1);
    // Let the window manager finish handing the focus around before the pointer moves in.
    testsupport::pumpEventsFor(500);

    // Saving from the sidebar adds the row and selects it.
    saveFromSidebar(*view, "Morning");
    ASSERT_TRUE(view->presenter().selectedSummary());
    const QUuid morningID = view->presenter().selectedSummary()->id;
    saveFromSidebar(*view, "Evening & Night");
    ASSERT_EQ(view->layoutList()->count(), 2);
    ASSERT_TRUE(view->presenter().selectedSummary());
    EXPECT_EQ(view->presenter().selectedSummary()->name, "Evening & Night");
    ASSERT_GE(view->layoutList()->currentRow(), 0);
    EXPECT_EQ(view->row(view->layoutList()->currentRow())->snapshot().id, view->presenter().selectedSummary()->id);

    // The window's size and the rows' texts, on screen, once the save's progress card is gone.
    ASSERT_TRUE(waitFor([&] { return !view->presenter().snapshotMenuController()->isOperating(); }));
    testsupport::pumpEventsFor(800);
    const QString shot = home.filePath("dashboard.png");
    ASSERT_EQ(QProcess::execute("import", {"-window", "root", shot}), 0);
    const QImage screen(shot);
    ASSERT_FALSE(screen.isNull());
    const QRect frame(rootPosition(view), view->size());
    EXPECT_EQ(frame.size(), QSize(940, 640));
    EXPECT_TRUE(screen.rect().contains(frame)) << "the window is not fully on screen";
    const QImage window = screen.copy(frame);
    QSet<QRgb> colours;
    for (int y = 0; y < window.height(); y += 8)
        for (int x0 = 0; x0 < window.width(); x0 += 8)
            colours.insert(window.pixel(x0, y));
    EXPECT_GT(colours.size(), 4) << "the window area is blank";
    if (const QByteArray keep = qgetenv("ZEN_KEEP_SCREENSHOT"); !keep.isEmpty())
        QFile::copy(shot, QString::fromLocal8Bit(keep));
    QStringList names;
    const QRegularExpression summaryLine(QStringLiteral("^[1-9][0-9]* windows • [12] displays • just now$"));
    for (int i = 0; i < 2; ++i) {
        const DashboardSnapshotRow* row = view->row(i);
        ASSERT_TRUE(row);
        names << row->nameLabel()->text();
        EXPECT_TRUE(summaryLine.match(row->summaryLabel()->text()).hasMatch()) << row->summaryLabel()->text().toStdString();
        EXPECT_TRUE(row->nameLabel()->isVisible());
        EXPECT_TRUE(frame.contains(rootPosition(row->nameLabel()))) << "row " << i << " lies outside the window";
    }
    names.sort();
    EXPECT_EQ(names, QStringList({"Evening & Night", "Morning"}));

    // Renaming in the row: a double click opens the field, Return saves the name.
    const SnapshotStore store(home.filePath("data/Zentharion/Snapshots"));
    DashboardSnapshotRow* morning = rowOf(*view, morningID);
    ASSERT_TRUE(morning);
    click(morning->nameLabel(), QPoint(10, morning->nameLabel()->height() / 2), 1, 2);
    ASSERT_TRUE(waitFor([&] { return morning->isRenaming() && morning->nameField()->hasFocus(); }))
        << "the rename field did not open with focus";
    morning->nameField()->setText("Early Morning");
    key(keyReturn);
    ASSERT_TRUE(waitFor([&] {
        const auto stored = store.loadSnapshot(morningID);
        return stored && stored->name == "Early Morning";
    }));
    EXPECT_EQ(view->presenter().selectedSnapshotID(), morningID);
    EXPECT_TRUE(waitFor([&] { return rowOf(*view, morningID)->nameLabel()->text() == "Early Morning"; }));
    EXPECT_FALSE(rowOf(*view, morningID)->isRenaming());

    // Deleting from the row's context menu, through the confirmation.
    const QString file = store.fileURL(morningID);
    ASSERT_TRUE(QFile::exists(file));
    whenShown([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
              [this](QWidget* popup) {
                  auto* menu = static_cast<QMenu*>(popup);
                  for (QAction* action : menu->actions())
                      if (action->text() == "Delete")
                          click(menu, menu->actionGeometry(action).center());
              });
    click(rowOf(*view, morningID), QPoint(30, 10), 3);
    ASSERT_TRUE(waitFor([&] { return view->deleteConfirmation() && view->deleteConfirmation()->isVisible(); }))
        << "no confirmation";
    QMessageBox* confirmation = view->deleteConfirmation();
    EXPECT_EQ(confirmation->informativeText(), "Delete \"Early Morning\"? This cannot be undone.");
    EXPECT_TRUE(QFile::exists(file)) << "nothing is deleted before the answer";
    for (QAbstractButton* button : confirmation->buttons())
        if (button->text() == "Delete")
            click(button, button->rect().center());
    EXPECT_TRUE(waitFor([&] { return !QFile::exists(file); })) << "the layout file is still there";
    EXPECT_TRUE(waitFor([&] { return view->layoutList()->count() == 1; }));
    EXPECT_EQ(view->presenter().selectedSummary()->name, "Evening & Night");

    // Closing the window leaves the program running in the tray.
    view->close();
    EXPECT_TRUE(waitFor([&] { return visibleDashboards() == 0; }));
    chooseTrayItem("Open Zentharion");
    EXPECT_TRUE(waitFor([&] { return visibleDashboards() == 1; }));
}

} // namespace
} // namespace zen
