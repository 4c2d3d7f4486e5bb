// The real program, built with its update feed on a local test server, in a tray: its
// automatic check finds a newer release, and the tray's update item opens the offer of it.
// Screenshots of the menu and the offer go to $ZEN_SCREENSHOT_DIR when it is set.
#include "Updates/LocalFeedServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

namespace {

bool waitFor(const std::function<bool()>& done, int timeoutMs = 15000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(25);
    }
    return true;
}

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(5000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

void screenshot(const QString& name)
{
    const QString folder = qEnvironmentVariable("ZEN_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        run("import", {"-window", "root", QDir(folder).filePath(name)});
}

TEST(UpdateLiveTest, TheTrayOffersTheReleaseTheAutomaticCheckFound)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X server";
    for (const char* tool : {"trayer", "xdotool"})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            GTEST_SKIP() << tool << " is not installed";

    LocalFeedServer server(ZEN_LOCAL_FEED_PORT);
    ASSERT_TRUE(server.isListening()) << "port " << ZEN_LOCAL_FEED_PORT << " is taken";
    server.answer("/feed.json", {200, R"({"items": [{"version": "99.0", "url": "https://example.org/99",
                                          "notes": "Faster restores."}]})"});

    QTemporaryDir home;
    for (const char* folder : {"data", "config/Zentharion", "runtime"})
        QDir().mkpath(home.filePath(folder));
    QFile::setPermissions(home.filePath("runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile preferences(home.filePath("config/Zentharion/Zentharion.conf"));
    ASSERT_TRUE(preferences.open(QIODevice::WriteOnly));
    // Not a first launch: no dashboard opens and takes the keyboard.
    preferences.write("[General]\nZentharion.Updates.automaticallyChecks=true\n"
                      "Zentharion.Onboarding.status=completedAuthorized\n");
    preferences.close();

    QProcess tray;
    tray.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
    ASSERT_TRUE(tray.waitForStarted());

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
    env.insert("QT_QPA_PLATFORM", "xcb");
    program.setProcessEnvironment(env);
    program.start(QCoreApplication::applicationDirPath() + "/zentharion_local_feed", {});
    ASSERT_TRUE(program.waitForStarted());

    EXPECT_TRUE(waitFor([&] { return server.requests("/feed.json") >= 1; })) << "no automatic check";
    QString icon;
    ASSERT_TRUE(waitFor([&] {
        // The program's one visible window: its icon in the tray.
        icon = run("xdotool", {"search", "--onlyvisible", "--pid", QString::number(program.processId())})
                   .section('\n', 0, 0);
        return !icon.isEmpty();
    }));
    waitFor([] { return false; }, 1000); // the tray takes the icon in and the menu is rebuilt

    run("xdotool", {"mousemove", "--window", icon, "6", "6", "click", "1"});
    waitFor([] { return false; }, 1000);
    screenshot("update-tray-menu.png");
    // From the bottom: "Quit Zentharion", then the update item.
    run("xdotool", {"key", "Up", "Up", "Return"});

    EXPECT_TRUE(waitFor([&] { return !run("xdotool", {"search", "--name", "^Zentharion 99.0$"}).isEmpty(); }))
        << "the update item did not open the offer of the found release";
    EXPECT_GE(server.requests("/feed.json"), 2) << "the item's check asks the feed again";
    waitFor([] { return false; }, 500);
    screenshot("update-offer.png");

    program.terminate();
    program.waitForFinished(5000);
    tray.terminate();
    tray.waitForFinished(5000);
}

} // namespace
