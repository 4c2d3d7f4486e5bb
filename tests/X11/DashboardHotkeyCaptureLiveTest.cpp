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
#include "Platform/X11/X11Platform.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/LiveDesktop.h"
#include "Support/TestClientProcess.h"

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

#include <gtest/gtest.h>

#include <cmath>

namespace zen {
namespace {

using namespace testsupport;

constexpr xcb_keycode_t controlLeft = 37, altLeft = 64, keyL = 46, keyK = 45;

struct DashboardHotkeyCaptureLiveTest : ::testing::Test {
    std::shared_ptr<X11Platform> platform;
    QTemporaryDir home;
    std::unique_ptr<XSession> x;
    std::unique_ptr<ScopedXdgFolders> folders;

    void SetUp() override
    {
        platform = X11Platform::connect();
        if (!platform)
            GTEST_SKIP() << "no X server";
        x = std::make_unique<XSession>();
        folders = std::make_unique<ScopedXdgFolders>(home.filePath("data"), home.filePath("config"));
    }

    int restoresLogged() const
    {
        QFile file(home.filePath("data/Zentharion/Logs/events.log"));
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        return int(file.readAll().count("restore.completed"));
    }
};

// The whole screen as a person sees it: the refused field and its popover are tinted red. The
// screen is looked at again until they are (the tint is painted, and may fade in, after the
// refusal), and the last look is kept when they never were.
void expectRedUnder(QWidget* field, QWidget* popover)
{
    QImage screen;
    bool popoverRed = false;
    QColor edge;
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
    // The field's own tint is faint: red well above green and blue, at its stroke.
    const auto fieldRed = [&] { return edge.red() > edge.blue() + 30; };
    waitFor(
        [&] {
            screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
            popoverRed = reddish(QRect(popover->mapToGlobal(QPoint(0, 0)), popover->size()));
            const QRect fieldArea(field->mapToGlobal(QPoint(0, 0)), field->size());
            edge = screen.pixelColor(fieldArea.left() + fieldArea.width() / 2, fieldArea.top());
            return popoverRed && fieldRed();
        },
        15000, 100);
    if (qEnvironmentVariableIsSet("ZEN_SCREENSHOT_DIR"))
        screen.save(QDir(qEnvironmentVariable("ZEN_SCREENSHOT_DIR")).filePath("dashboard-capture-refused.png"));
    EXPECT_TRUE(popoverRed);
    EXPECT_TRUE(fieldRed()) << edge.name().toStdString();
}

TEST_F(DashboardHotkeyCaptureLiveTest, ShortcutRecordedInPlaceRestoresItsLayoutAndATakenOneIsRefused)
{
    TestClientProcess client({"--class", "zen-capture-live,ZenCaptureLive", "--window",
                              "title=Capture1,geometry=300x200+100+100"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    std::optional<LiveWindow> window;
    ASSERT_TRUE(waitFor([&] { return (window = findLiveWindow(platform->services(), "Capture1")).has_value(); }));

    const SnapshotStore store(home.filePath("data/Zentharion/Snapshots"));
    Snapshot target = layoutMoving(platform->services(), "Target", *window, 400, 150);
    Snapshot other = layoutMoving(platform->services(), "Other", *window, 200, 300);
    ASSERT_EQ(target.windows.size(), 1u);
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
    x->pressChord({controlLeft, altLeft, keyL});
    ASSERT_TRUE(waitFor([&] { return card->errorPopover()->isVisible(); }));
    EXPECT_EQ(card->errorPopover()->message(), "\"Other\" already uses that hotkey.");
    expectRedUnder(card->captureField(), card->errorPopover());
    pumpEventsFor(1000);
    EXPECT_EQ(restoresLogged(), 0);
    EXPECT_TRUE(liveWindowAt(platform->services(), "Capture1", window->window.frame));
    EXPECT_TRUE(card->captureField()->isVisible());

    x->pressChord({controlLeft, altLeft, keyK});
    ASSERT_TRUE(waitFor([&] { return !card->captureField()->isVisible(); }));
    const auto stored = store.loadSnapshot(target.id);
    ASSERT_TRUE(stored);
    ASSERT_TRUE(stored->hotkey);
    EXPECT_EQ(stored->hotkey->keyCode, 40u);
    EXPECT_EQ(stored->hotkey->modifiers, 0x1800u);
    EXPECT_EQ(stored->hotkey->displayString, "Option-Control-K");
    EXPECT_EQ(card->hotkeyText(), "Ctrl+Alt+K");

    // Registered again: the new shortcut restores its layout.
    x->pressChord({controlLeft, altLeft, keyK});
    EXPECT_TRUE(waitFor([&] { return restoresLogged() == 1; })) << "no restore after the recorded shortcut";
    const CGRect expected = target.windows.front().frame.cgRect();
    EXPECT_TRUE(waitFor([&] { return liveWindowAt(platform->services(), "Capture1", expected); }))
        << "the window was not put where the recorded layout says";
    pumpEventsFor(300);
    EXPECT_EQ(restoresLogged(), 1);

    dashboard->close();
    pumpEventsFor(100);
}

} // namespace
} // namespace zen
