// The real program on a desktop with a session bus of its own, with and without a tray: where
// no tray shows it, it opens its dashboard; launching it again brings the running copy's
// dashboard forward and exits quietly; nothing a killed copy leaves behind stops the next start.
#include "Support/ProgramOnBusTest.h"
#include "Support/TestClientProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSet>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

namespace zen {
namespace {

using namespace testsupport;

const QString dashboardTitle = QStringLiteral("Zentharion");
// A returning user: nothing but a missing tray opens a window.
struct SecondLaunchLiveTest : ProgramOnBusTest {
    std::optional<xcb_window_t> dashboard() { return shownProgramWindow(*x, dashboardTitle); }

    // Active, and stacked above `other` too when one is named: holding the keyboard alone is not
    // being in front.
    bool dashboardInFront(xcb_window_t other = XCB_NONE)
    {
        const auto shown = dashboard();
        if (!shown || activeWindow(*x) != *shown)
            return false;
        if (other == XCB_NONE)
            return true;
        const QByteArray stacking = x->property(x->root(), x->atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW);
        qsizetype shownAt = -1, otherAt = -1;
        for (qsizetype i = 0; i + 4 <= stacking.size(); i += 4) {
            xcb_window_t window = XCB_NONE;
            std::memcpy(&window, stacking.constData() + i, 4);
            shownAt = window == *shown ? i : shownAt;
            otherAt = window == other ? i : otherAt;
        }
        return shownAt > otherAt;
    }

    // Another launch: it must hand over to the running copy and end at once, saying nothing.
    void launchAgain(const QStringList& arguments = {})
    {
        QElapsedTimer clock;
        clock.start();
        ProgramProcess again(home, bus->address(), arguments);
        ASSERT_TRUE(waitUntilEnded(again.process))
            << "a second launch kept running: " << again.process.readAllStandardError().constData();
        // Loose on purpose: sanitized builds on a shared machine start slowly.
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_EQ(again.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(again.process.exitCode(), 0);
        EXPECT_EQ(again.process.readAllStandardError(), QByteArray());
        EXPECT_EQ(again.process.readAllStandardOutput(), QByteArray());
    }
};

TEST_F(SecondLaunchLiveTest, WithoutATrayTheDashboardOpensComesBackOnEveryLaunchAndQuitsTheProgram)
{
    ProgramProcess program(home, bus->address(), {});
    ASSERT_TRUE(program.process.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return dashboard().has_value(); })) << "no dashboard without a tray";

    closeWindow(*x, *dashboard());
    ASSERT_TRUE(waitFor([&] { return !dashboard(); }));
    EXPECT_EQ(program.process.state(), QProcess::Running) << "closing the window ended the program";
    launchAgain();
    EXPECT_TRUE(waitFor([&] { return dashboardInFront(); })) << "a closed dashboard did not come back in front";

    // Closed and launched again, the person minimizes the dashboard the moment the window
    // manager shows it, which on a busy machine comes before the program has drawn it: it stays
    // minimized.
    closeWindow(*x, *dashboard());
    ASSERT_TRUE(waitFor([&] { return !dashboard(); }));
    {
        ProgramProcess again(home, bus->address(), {});
        std::optional<xcb_window_t> shown;
        ASSERT_TRUE(waitFor([&] { return (shown = dashboard()).has_value(); }, 15000, 5));
        minimizeWindow(*x, *shown);
        ASSERT_TRUE(waitUntilEnded(again.process));
    }
    // The launch has ended: the window manager has long carried out the minimize.
    EXPECT_FALSE(waitFor([&] { return dashboard().has_value(); }, 3000)) << "the dashboard minimized as it appeared came back";

    // The user works in another program meanwhile: the launch still wins the keyboard. That
    // program is on the other monitor, where no click meant for the dashboard can land on it.
    TestClientProcess other(
        {"--class", "zen-second-launch,ZenSecondLaunch", "--window", "title=Busy,geometry=300x200+1500+300"});
    const auto busy = other.waitUntilReady();
    ASSERT_EQ(busy.size(), 1u);
    x->click(x->rootPosition(busy[0]) + QPoint(150, 100));
    ASSERT_TRUE(waitFor([&] { return activeWindow(*x) == busy[0]; }));
    launchAgain();
    EXPECT_TRUE(waitFor([&] { return dashboardInFront(busy[0]); })) << "a minimized dashboard did not come back in front";

    // Quit, the last item of the window's application menu, chosen as a person does: once the
    // window stands where the window manager brings it back to (it animates an un-minimize),
    // the menu is opened, and once the menu is drawn, Quit is clicked.
    const auto window = dashboard();
    ASSERT_TRUE(window);
    ASSERT_FALSE(waitUntilSettled([&] { return x->rootGeometry(*window); }).isEmpty());
    x->click(x->rootPosition(*window) + QPoint(30, 10));
    std::optional<xcb_window_t> menu;
    ASSERT_TRUE(waitFor([&] {
        const auto popups = x->programPopups();
        return !popups.empty() && (menu = popups.front());
    })) << "the application menu did not open";
    const QRect menuArea = waitUntilSettled([&] { return x->rootGeometry(*menu); });
    ASSERT_FALSE(menuArea.isEmpty());
    // Drawn: its frame, background and item texts, not one colour.
    ASSERT_TRUE(waitFor([&] {
        const QImage shown = windowScreenshot(*menu);
        QSet<QRgb> colours;
        for (int row = 0; row < shown.height() && colours.size() < 3; ++row)
            for (int column = 0; column < shown.width(); ++column)
                colours.insert(shown.pixel(column, row));
        return colours.size() >= 3;
    }, 15000, 200)) << "the menu was not drawn";
    x->click(QPoint(menuArea.center().x(), menuArea.bottom() - 12));
    ASSERT_TRUE(waitUntilEnded(program.process)) << "Quit did not end the program";
    EXPECT_EQ(program.process.exitCode(), 0);
}

TEST_F(SecondLaunchLiveTest, WithATrayAStartStaysQuietALoginLaunchTooAndAnyOtherLaunchOpensTheDashboard)
{
    if (!hasTool("trayer"))
        GTEST_SKIP() << "trayer is not installed";
    // The tray starts with the session, just after the program has found none.
    ProgramProcess program(home, bus->address(), {});
    QByteArray errors;
    ASSERT_TRUE(waitFor([&] {
        errors += program.process.readAllStandardError();
        return errors.contains("The desktop has no system tray");
    }));
    TrayProcess tray;
    ASSERT_TRUE(tray.started());
    ASSERT_TRUE(waitFor([&] { return x->embeddedProgramWindows() == 1; }));
    // Longer than the grace a missing tray is given.
    EXPECT_FALSE(waitFor([&] { return dashboard().has_value(); }, 3000))
        << "a window opened although a tray shows the program";

    launchAgain({"--autostart"});
    EXPECT_FALSE(waitFor([&] { return dashboard().has_value(); }, 1500)) << "a launch at login opened the dashboard";

    launchAgain();
    EXPECT_TRUE(waitFor([&] { return dashboardInFront(); }));
}

// A copy killed outright cannot release its lock file or bus name; the next start takes over
// both, with or without a session bus.
TEST_F(SecondLaunchLiveTest, AKilledCopyDoesNotStopTheNextStart)
{
    for (const bool withBus : {true, false}) {
        SCOPED_TRACE(withBus ? "with a session bus" : "without a session bus");
        const QString address = withBus ? bus->address() : QString();
        {
            ProgramProcess killed(home, address, {});
            ASSERT_TRUE(waitFor([&] { return dashboard().has_value(); }));
            ::kill(pid_t(killed.process.processId()), SIGKILL);
            ASSERT_TRUE(waitUntilEnded(killed.process));
        }
        const QDir runtime(home.filePath(QStringLiteral("runtime")));
        EXPECT_FALSE(runtime.entryList({QStringLiteral("zentharion-display*.lock")}, QDir::Files).isEmpty())
            << "the killed copy left no lock file: the case is not tested";
        ASSERT_TRUE(waitFor([&] { return !dashboard(); }));

        ProgramProcess next(home, address, {});
        EXPECT_TRUE(waitFor([&] { return dashboard().has_value(); }))
            << next.process.readAllStandardError().constData();
        EXPECT_EQ(next.process.state(), QProcess::Running);
        // The new copy holds the bus name: a later launch reaches it rather than the lock.
        if (withBus)
            launchAgain();
    }
}

} // namespace
} // namespace zen
