// The real program, built with its update feed on a local test server, in a tray: its
// automatic check finds a newer release, and the tray's update item opens the offer of it.
// Screenshots of the menu and the offer go to $ZEN_SCREENSHOT_DIR when it is set.
#include "Updates/LocalFeedServer.h"

#include "Support/LiveDesktop.h"
#include "Support/TestClientProcess.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

using namespace zen::testsupport;

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(5000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

TEST(UpdateLiveTest, TheTrayOffersTheReleaseTheAutomaticCheckFound)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X server";
    for (const char* tool : {"trayer", "xdotool", "import"})
        if (!hasTool(tool))
            GTEST_SKIP() << tool << " is not installed";

    LocalFeedServer server(ZEN_LOCAL_FEED_PORT);
    ASSERT_TRUE(server.isListening()) << "port " << ZEN_LOCAL_FEED_PORT << " is taken";
    server.answer("/feed.json", {200, R"({"items": [{"version": "99.0", "url": "https://example.org/99",
                                          "notes": "Faster restores."}]})"});

    ProgramHome home;
    QFile preferences(home.settingsFile());
    ASSERT_TRUE(preferences.open(QIODevice::WriteOnly));
    // Not a first launch: no dashboard opens and takes the keyboard.
    preferences.write("[General]\nZentharion.Updates.automaticallyChecks=true\n"
                      "Zentharion.Onboarding.status=completedAuthorized\n");
    preferences.close();

    TrayProcess tray;
    ASSERT_TRUE(tray.started());
    ProgramProcess running(home, "zentharion_local_feed");
    ASSERT_TRUE(running.process.waitForStarted());

    EXPECT_TRUE(waitFor([&] { return server.requests("/feed.json") >= 1; }, 15000)) << "no automatic check";
    // The program's visible windows: its icon in the tray, and its menu once open.
    const auto shown = [&] {
        return run("xdotool", {"search", "--onlyvisible", "--pid", QString::number(running.process.processId())})
            .split('\n', Qt::SkipEmptyParts);
    };
    QStringList windows;
    ASSERT_TRUE(waitFor([&] { return !(windows = shown()).isEmpty(); }, 15000));
    // The icon where the tray finally places it, then its menu open (clicked again should a
    // click land while the tray still moves it) before any key is pressed.
    XSession x;
    const QRect iconArea = waitUntilSettled([&] { return x.rootGeometry(xcb_window_t(windows.front().toUInt())); });
    ASSERT_FALSE(iconArea.isEmpty()) << "the tray never gave the icon its place";
    // The update item is chosen from the open menu (from the bottom: "Quit Zentharion", then
    // the update item), which asks the feed again. The answer of the automatic check rebuilds
    // the menu, and a menu rebuilt while open, or one that does not hold the keyboard yet, loses
    // the keys: the menu is closed and the item chosen again until the feed is asked.
    ScreenshotFolder shots;
    const auto chosen = [&] { return server.requests("/feed.json") >= 2; };
    EXPECT_TRUE(waitFor([&] {
        if (chosen())
            return true;
        run("xdotool", {"key", "Escape"});
        if (!waitFor([&] {
                if (shown().size() > 1)
                    return true;
                x.click(iconArea.center());
                return false;
            }, 15000, 1000))
            return false;
        shots.save(rootScreenshot(), "update-tray-menu");
        run("xdotool", {"key", "Up", "Up", "Return"});
        return waitFor(chosen, 3000);
    }, 30000, 0)) << "the update item never asked the feed again";

    // The version stands isolated in the title: between the two marks, whatever bytes they take.
    EXPECT_TRUE(waitFor([&] { return !run("xdotool", {"search", "--name", "^Zentharion .*99\\.0.*$"}).isEmpty(); }, 15000))
        << "the update item did not open the offer of the found release";
    pumpEventsFor(500);
    shots.save(rootScreenshot(), "update-offer");
}

} // namespace
