// The real program under Xvfb with a tray: a restore chosen from the tray menu shows the
// progress overlay and then the completion toast on both monitors.
#include "Platform/X11/X11Platform.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/LiveDesktop.h"
#include "Support/TestClientProcess.h"

#include <gtest/gtest.h>

#include <set>

namespace zen {
namespace {

using namespace testsupport;

struct ProgramFeedbackLiveTest : ::testing::Test {
    std::shared_ptr<X11Platform> platform;
    ProgramHome home;
    std::unique_ptr<XSession> x;

    void SetUp() override
    {
        platform = X11Platform::connect();
        if (!platform)
            GTEST_SKIP() << "no X server";
        for (const char* tool : {"trayer", "xdotool", "import"})
            if (!hasTool(tool))
                GTEST_SKIP() << tool << " is not installed";
        x = std::make_unique<XSession>();
        home.markOnboardingDone();
    }
};

TEST_F(ProgramFeedbackLiveTest, ARestoreFromTheTrayShowsTheOverlayThenTheToastOnBothMonitors)
{
    TestClientProcess client({"--class", "zen-feedback-live,ZenFeedbackLive", "--window",
                              "title=Feedback,geometry=300x200+200+200"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    std::optional<LiveWindow> window;
    ASSERT_TRUE(waitFor([&] { return (window = findLiveWindow(platform->services(), "Feedback")).has_value(); }));

    // One layout, which moves the window a little.
    const Snapshot layout = layoutMoving(platform->services(), "Feedback", *window, 200, 100);
    ASSERT_EQ(layout.sourceDisplayState.displays.size(), 2u);
    ASSERT_EQ(layout.windows.size(), 1u);
    const CGRect target = layout.windows[0].frame.cgRect();
    ASSERT_TRUE(SnapshotStore(home.snapshotsFolder()).save(layout));

    TrayProcess tray;
    ASSERT_TRUE(tray.started());
    ProgramProcess program(home);
    ASSERT_TRUE(program.process.waitForStarted());

    // The icon as the tray finally places it (the window found first may still be replaced).
    const QRect iconArea = waitUntilSettled([&] {
        const auto icon = x->programTrayIcon();
        return icon ? x->rootGeometry(*icon) : QRect();
    });
    ASSERT_FALSE(iconArea.isEmpty()) << "the tray never gave the icon its place";

    // Watch the program's panels: the overlay's card centred on each monitor, then a toast
    // 460 wide, centred near the top of each monitor.
    const std::vector<QRect> monitors = {QRect(0, 0, 1280, 800), QRect(1280, 0, 1024, 768)};
    std::set<int> overlaySeen, toastSeen;
    const auto watch = [&] {
        for (const QRect& panel : x->programPanels())
            for (int i = 0; i < 2; ++i) {
                if (panel.center() == monitors[i].center() && panel.width() < monitors[i].width())
                    overlaySeen.insert(i);
                if (panel.width() == 460 && panel.height() == 76 && panel.center().x() == monitors[i].center().x()
                    && panel.top() >= monitors[i].top() + 28 && panel.top() <= monitors[i].top() + 28 + 40)
                    toastSeen.insert(i);
            }
        return toastSeen.size() == 2;
    };

    // Open the tray menu and choose the layout: the first item saves, the next one is the layout.
    // A menu that does not hold the keyboard yet loses the keys: it is closed and the layout
    // chosen again until the restore shows.
    const bool chosen = waitFor(
        [&] {
            if (!overlaySeen.empty() || !toastSeen.empty())
                return true;
            QProcess::execute("xdotool", {"key", "Escape"});
            if (!waitFor([&] {
                    if (!x->programPanels().empty())
                        return true;
                    x->click(iconArea.center());
                    return false;
                }, 15000, 1000))
                return false;
            pumpEventsFor(300);
            QProcess::execute("xdotool", {"key", "Down", "Down", "Return"});
            return waitFor([&] {
                watch();
                return !overlaySeen.empty() || !toastSeen.empty();
            }, 3000, 5);
        },
        30000, 0);
    ASSERT_TRUE(chosen) << "the tray menu did not open, or choosing the layout started no restore";
    QImage toastShot;
    waitFor(watch, 15000, 5);
    EXPECT_EQ(overlaySeen, (std::set<int>{0, 1})) << "the progress overlay was not seen on both monitors";
    ASSERT_EQ(toastSeen, (std::set<int>{0, 1})) << "the completion toast was not seen on both monitors";

    pumpEventsFor(300); // the fade-in, where there is one
    toastShot = rootScreenshot();
    ASSERT_FALSE(toastShot.isNull());
    ScreenshotFolder().save(toastShot, "program-completion-toasts");
    for (const QRect& panel : x->programPanels()) {
        // The solid card's colour in the toast's lower part, where no text is drawn.
        const QColor card = toastShot.pixelColor(panel.center().x(), panel.bottom() - 5);
        EXPECT_EQ(card, QColor(44, 44, 46));
    }

    EXPECT_TRUE(waitFor([&] { return liveWindowAt(platform->services(), "Feedback", target); }))
        << "the layout was not restored";
}

} // namespace
} // namespace zen
