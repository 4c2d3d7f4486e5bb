// The real program under Xvfb with a tray: a restore chosen from the tray menu shows the
// progress overlay and then the completion toast on both monitors.
#include "Platform/X11/X11Platform.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/LiveDesktop.h"
#include "Support/TestClientProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace zen {
namespace {

using namespace testsupport;

// X keycode of the evdev keymap Xvfb loads.
constexpr xcb_keycode_t keyDown = 116;

struct ProgramFeedbackLiveTest : ::testing::Test {
    std::shared_ptr<X11Platform> platform;
    ProgramHome home;
    std::unique_ptr<XSession> x;

    void SetUp() override
    {
        platform = X11Platform::connect();
        if (!platform)
            GTEST_SKIP() << "no X server";
        for (const char* tool : {"trayer", "import"})
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
    QProcessEnvironment logging;
    logging.insert("QT_LOGGING_RULES", shortcutsLoggingRule);
    ProgramProcess program(home, logging);
    ASSERT_TRUE(program.process.waitForStarted());
    // The layout is listed (its shortcuts, none, taken in) before the menu first opens and
    // shows it.
    QByteArray errors;
    ASSERT_TRUE(waitUntilShortcutsRegistered(program.process, errors, 0, 1)) << errors.toStdString();

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
    ASSERT_TRUE(openProgramTrayMenu(*x)) << "the tray menu did not open";
    x->key(keyDown);
    x->key(keyDown);
    x->key(keycode::returnKey);
    ASSERT_TRUE(waitFor([&] {
        watch();
        return !overlaySeen.empty() || !toastSeen.empty();
    }, 15000, 5)) << "choosing the layout started no restore";
    QImage toastShot;
    waitFor(watch, 15000, 5);
    EXPECT_EQ(overlaySeen, (std::set<int>{0, 1})) << "the progress overlay was not seen on both monitors";
    ASSERT_EQ(toastSeen, (std::set<int>{0, 1})) << "the completion toast was not seen on both monitors";

    // The solid card's colour in each toast's lower part, where no text is drawn, once painted
    // (after the fade-in, where there is one; later on a busy machine).
    const auto cardsPainted = [&] {
        toastShot = rootScreenshot();
        const auto panels = x->programPanels();
        return !toastShot.isNull() && !panels.empty() && std::ranges::all_of(panels, [&](const QRect& panel) {
            return toastShot.pixelColor(panel.center().x(), panel.bottom() - 5) == QColor(44, 44, 46);
        });
    };
    waitFor(cardsPainted, 5000, 50);
    ASSERT_FALSE(toastShot.isNull());
    ScreenshotFolder().save(toastShot, "program-completion-toasts");
    for (const QRect& panel : x->programPanels()) {
        const QColor card = toastShot.pixelColor(panel.center().x(), panel.bottom() - 5);
        EXPECT_EQ(card, QColor(44, 44, 46));
    }

    EXPECT_TRUE(waitFor([&] { return liveWindowAt(platform->services(), "Feedback", target); }))
        << "the layout was not restored";
}

} // namespace
} // namespace zen
