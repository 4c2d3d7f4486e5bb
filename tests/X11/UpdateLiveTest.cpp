// The real program, built with its update feed on a local test server, in a tray: its
// automatic check finds a newer release, and the tray's update item opens the offer of it, a
// dialog of the open dashboard.
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
    // Named as the program is, whatever its file is called: the tray's icon and the menu are
    // found by their window class.
    QProcessEnvironment name;
    name.insert("RESOURCE_NAME", "zentharion");
    ProgramProcess running(home, name, "zentharion_local_feed");
    ASSERT_TRUE(running.process.waitForStarted());

    EXPECT_TRUE(waitFor([&] { return server.requests("/feed.json") >= 1; }, 15000)) << "no automatic check";
    // The menu is chosen from once drawn: from then on it holds the keyboard, and it keeps its
    // rows while open (the check's answer changes them only for the next opening).
    XSession x;
    constexpr xcb_keycode_t up = 111;

    // With the dashboard open ("Open Zentharion", four items from the bottom of the menu), the
    // offer is one of its dialogs.
    ASSERT_TRUE(openProgramTrayMenu(x)) << "the tray menu did not open";
    for (int i = 0; i < 4; ++i)
        x.key(up);
    x.key(keycode::returnKey);
    QString dashboard;
    ASSERT_TRUE(waitFor([&] {
        dashboard = run("xdotool", {"search", "--onlyvisible", "--name", "^Zentharion$"}).section('\n', 0, 0);
        return !dashboard.isEmpty();
    })) << "the tray's item opened no dashboard";
    // Then the update item (from the bottom: "Quit Zentharion", then the update item), which
    // asks the feed again.
    ScreenshotFolder shots;
    ASSERT_TRUE(openProgramTrayMenu(x)) << "the tray menu did not open again";
    shots.save(rootScreenshot(), "update-tray-menu");
    x.key(up);
    x.key(up);
    x.key(keycode::returnKey);
    EXPECT_TRUE(waitFor([&] { return server.requests("/feed.json") >= 2; })) << "the update item never asked the feed again";

    // The version stands isolated in the title: between the two marks, whatever bytes they take.
    QString offer;
    EXPECT_TRUE(waitFor([&] {
        offer = run("xdotool", {"search", "--name", "^Zentharion .*99\\.0.*$"}).section('\n', 0, 0);
        return !offer.isEmpty();
    }, 15000)) << "the update item did not open the offer of the found release";
    EXPECT_GE(server.requests("/feed.json"), 2) << "the item's check asks the feed again";
    pumpEventsFor(500);
    shots.save(rootScreenshot(), "update-offer");
    if (offer.isEmpty())
        return;
    const QString transientFor = run("xprop", {"-id", offer, "WM_TRANSIENT_FOR"}).section(' ', -1);
    EXPECT_EQ(transientFor.toULong(nullptr, 16), dashboard.toULong()) << transientFor.toStdString();
    EXPECT_TRUE(run("xprop", {"-id", offer, "_NET_WM_ICON"}).startsWith("_NET_WM_ICON(CARDINAL) =")) << "no icon";
}

} // namespace
