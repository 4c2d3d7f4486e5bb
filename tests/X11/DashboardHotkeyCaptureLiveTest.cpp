// The program's own dashboard under Xvfb: a layout's shortcut recorded in
// the detail pane from key presses sent through XTEST, while another layout's shortcut is
// refused as taken instead of restoring that layout.
#include "App/ZentharionApp.h"
#include "Shared/UserDefaults.h"
#include "Dashboard/DashboardDetailView.h"
#include "Dashboard/DashboardHotkeyMetricCard.h"
#include "Dashboard/DashboardView.h"
#include "Dashboard/DashboardViewPresenter.h"
#include "Dashboard/HotkeyCaptureErrorPopover.h"
#include "Dashboard/InlineHotkeyCaptureField.h"
#include "Displays/DisplayResolver.h"
#include "Platform/X11/X11Platform.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/TestClientProcess.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <gtest/gtest.h>

#include <cmath>

namespace zen {
namespace {

using testsupport::TestClientProcess;

constexpr xcb_keycode_t controlLeft = 37, altLeft = 64, keyL = 46, keyK = 45;

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

struct DashboardHotkeyCaptureLiveTest : ::testing::Test {
    std::shared_ptr<X11Platform> platform;
    QTemporaryDir home;
    xcb_connection_t* injector = nullptr;
    QByteArray savedData, savedConfig;

    void SetUp() override
    {
        platform = X11Platform::connect();
        if (!platform)
            GTEST_SKIP() << "no X server";
        injector = xcb_connect(nullptr, nullptr);
        savedData = qgetenv("XDG_DATA_HOME");
        savedConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    }
    void TearDown() override
    {
        if (injector)
            xcb_disconnect(injector);
        qputenv("XDG_DATA_HOME", savedData);
        qputenv("XDG_CONFIG_HOME", savedConfig);
    }

    void pressChord(std::initializer_list<xcb_keycode_t> keys)
    {
        for (auto key : keys)
            xcb_test_fake_input(injector, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        for (auto it = std::rbegin(keys); it != std::rend(keys); ++it)
            xcb_test_fake_input(injector, XCB_KEY_RELEASE, *it, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(injector);
    }

    std::optional<DiscoveredWindow> liveWindow(const QString& title, QString* bundleIdentifier = nullptr,
                                               std::int32_t* pid = nullptr)
    {
        auto found = WindowDiscoveryEngine::forPlatform(platform->services()).discoverRunningWindows();
        if (!found)
            return std::nullopt;
        for (const auto& app : *found)
            for (const auto& window : app.windows)
                if (window.title == title) {
                    if (bundleIdentifier)
                        *bundleIdentifier = app.bundleIdentifier;
                    if (pid)
                        *pid = app.pid;
                    return window;
                }
        return std::nullopt;
    }

    // A layout that puts the live window `dx`, `dy` away from where it is.
    Snapshot layoutMoving(const QString& name, const DiscoveredWindow& window, const QString& bundleIdentifier,
                          std::int32_t pid, double dx, double dy)
    {
        const DisplayState displays = DisplayResolver(platform->services().screens).captureDisplayState();
        const CGRect target(window.frame.minX() + dx, window.frame.minY() + dy, window.frame.width(),
                            window.frame.height());
        const auto display = DisplayResolver::resolveDisplay(target, displays);
        EXPECT_TRUE(display);
        WindowRecord record;
        record.bundleIdentifier = bundleIdentifier;
        record.pidAtCapture = pid;
        record.windowTitle = window.title;
        record.role = window.role;
        record.subrole = window.subrole;
        record.frame = CGRectCodable(target);
        record.displayID = display->id;
        record.normalizedFrame = DisplayResolver::normalizedFrame(target, *display);
        record.zOrderHint = 0;
        record.captureSignature = {bundleIdentifier, pid, window.title, window.role, window.subrole,
                                   CGRectCodable(target), std::nullopt};
        Snapshot layout;
        layout.name = name;
        layout.sourceDisplayState = displays;
        layout.windows = {record};
        return layout;
    }

    int restoresLogged() const
    {
        QFile file(home.filePath("data/Zentharion/Logs/events.log"));
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        return int(file.readAll().count("restore.completed"));
    }
};

// The whole screen as a person sees it: the refused field and its popover are tinted red.
void expectRedUnder(QWidget* field, QWidget* popover)
{
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    if (qEnvironmentVariableIsSet("ZEN_SCREENSHOT_DIR"))
        screen.save(QDir(qEnvironmentVariable("ZEN_SCREENSHOT_DIR")).filePath("dashboard-capture-refused.png"));
    const auto reddish = [&](QRect area) {
        area = area.intersected(screen.rect());
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = screen.pixelColor(x, y);
                if (c.red() > 200 && c.green() < 150 && c.blue() < 150)
                    return true;
            }
        return false;
    };
    EXPECT_TRUE(reddish(QRect(popover->mapToGlobal(QPoint(0, 0)), popover->size())));
    // The field's own tint is faint: red well above green and blue, at its stroke.
    const QRect fieldArea(field->mapToGlobal(QPoint(0, 0)), field->size());
    const QColor edge = screen.pixelColor(fieldArea.left() + fieldArea.width() / 2, fieldArea.top());
    EXPECT_GT(edge.red(), edge.blue() + 30) << edge.name().toStdString();
}

TEST_F(DashboardHotkeyCaptureLiveTest, ShortcutRecordedInPlaceRestoresItsLayoutAndATakenOneIsRefused)
{
    TestClientProcess client({"--class", "zen-capture-live,ZenCaptureLive", "--window",
                              "title=Capture1,geometry=300x200+100+100"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    std::optional<DiscoveredWindow> window;
    QString bundleIdentifier;
    std::int32_t pid = 0;
    ASSERT_TRUE(waitFor([&] { return (window = liveWindow("Capture1", &bundleIdentifier, &pid)).has_value(); }));

    const SnapshotStore store(home.filePath("data/Zentharion/Snapshots"));
    Snapshot target = layoutMoving("Target", *window, bundleIdentifier, pid, 400, 150);
    Snapshot other = layoutMoving("Other", *window, bundleIdentifier, pid, 200, 300);
    other.hotkey = HotkeyBinding{37, 0x1800, "Option-Control-L"};
    ASSERT_TRUE(store.save(target));
    ASSERT_TRUE(store.save(other));

    // A returning user: the first-launch guide would take the focus from the dashboard.
    UserDefaults preferences(home.filePath("config/Zentharion/Zentharion.conf"));
    preferences.setString("Zentharion.Onboarding.status", "completedAuthorized");
    ZentharionAppDependencies dependencies = ZentharionAppDependencies::live();
    dependencies.userDefaults = &preferences;
    ZentharionApp app(std::move(dependencies));
    ASSERT_FALSE(app.bootstrapErrorMessage());
    app.openOrFocusDashboard();
    DashboardView* dashboard = app.dashboardWindow();
    ASSERT_NE(dashboard, nullptr);
    ASSERT_TRUE(waitFor([&] { return dashboard->isActiveWindow(); })) << "the dashboard never became active";
    dashboard->presenter().selectSnapshot(target.id);
    auto* pane = qobject_cast<DashboardDetailView*>(dashboard->detailPane());
    ASSERT_NE(pane, nullptr);
    auto* card = pane->hotkeyCard();
    ASSERT_TRUE(waitFor([&] { return card->isVisible(); }));

    card->editButton()->click();
    ASSERT_TRUE(waitFor([&] { return card->captureField()->hasFocus(); })) << "the field never got the keyboard";

    // The other layout's shortcut reaches the field, is refused by name and restores nothing.
    pressChord({controlLeft, altLeft, keyL});
    ASSERT_TRUE(waitFor([&] { return card->errorPopover()->isVisible(); }));
    EXPECT_EQ(card->errorPopover()->message(), "\"Other\" already uses that hotkey.");
    waitFor([] { return false; }, 200);
    expectRedUnder(card->captureField(), card->errorPopover());
    waitFor([] { return false; }, 1000);
    EXPECT_EQ(restoresLogged(), 0);
    const auto unmoved = liveWindow("Capture1");
    ASSERT_TRUE(unmoved);
    EXPECT_LE(std::abs(unmoved->frame.minX() - window->frame.minX()), 4);
    EXPECT_TRUE(card->captureField()->isVisible());

    pressChord({controlLeft, altLeft, keyK});
    ASSERT_TRUE(waitFor([&] { return !card->captureField()->isVisible(); }));
    const auto stored = store.loadSnapshot(target.id);
    ASSERT_TRUE(stored);
    ASSERT_TRUE(stored->hotkey);
    EXPECT_EQ(stored->hotkey->keyCode, 40u);
    EXPECT_EQ(stored->hotkey->modifiers, 0x1800u);
    EXPECT_EQ(stored->hotkey->displayString, "Option-Control-K");
    EXPECT_EQ(card->hotkeyText(), "⌥⌃K");

    // Registered again: the new shortcut restores its layout.
    pressChord({controlLeft, altLeft, keyK});
    EXPECT_TRUE(waitFor([&] { return restoresLogged() == 1; })) << "no restore after the recorded shortcut";
    const CGRect expected = target.windows.front().frame.cgRect();
    EXPECT_TRUE(waitFor([&] {
        const auto now = liveWindow("Capture1");
        return now && std::abs(now->frame.minX() - expected.minX()) <= 4
               && std::abs(now->frame.minY() - expected.minY()) <= 4;
    })) << "the window was not put where the recorded layout says";
    waitFor([] { return false; }, 300);
    EXPECT_EQ(restoresLogged(), 1);

    dashboard->close();
    waitFor([] { return false; }, 100);
}

} // namespace
} // namespace zen
