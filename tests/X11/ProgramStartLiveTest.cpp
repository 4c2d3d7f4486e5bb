// Starting the real program over what earlier runs, crashes or other hands left behind, and
// starting it twice at once: it opens, and exactly one copy is left, which a later launch
// reaches.
#include "App/SessionBusActivation.h"
#include "App/SingleInstanceLock.h"
#include "Support/ProgramOnBusTest.h"
#include "Support/TestClientProcess.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

namespace zen {
namespace {

using namespace testsupport;

const QString dashboardTitle = QStringLiteral("Zentharion");

struct ProgramStartLiveTest : ProgramOnBusTest {
    std::optional<xcb_window_t> dashboard() { return shownProgramWindow(*x, dashboardTitle); }
    QString lockPath() const
    {
        return home.filePath(QStringLiteral("runtime/")
                             + SingleInstanceLock::lockFileName(qEnvironmentVariable("DISPLAY", QStringLiteral(":0"))));
    }
};

// Without a tray the program opens its dashboard: that is how a start shows here.
TEST_F(ProgramStartLiveTest, AStartOverAnythingLeftAtTheLockOpensTheProgram)
{
    QTemporaryDir elsewhere;
    const QString path = lockPath();
    struct Case {
        const char* what;
        std::function<bool()> plant;
    };
    const auto write = [&](const QByteArray& bytes) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
    const Case cases[] = {
        {"an empty file", [&] { return write({}); }},
        {"garbage", [&] { return write("\x01\x02 not a process\n"); }},
        {"a dangling link", [&] { return QFile::link(elsewhere.filePath("missing"), path); }},
        {"a folder", [&] { return QDir().mkdir(path); }},
        {"a named pipe", [&] { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir().rmdir(path);
        QFile::remove(path);
        ASSERT_TRUE(c.plant());
        ProgramProcess program(home, bus->address(), {});
        EXPECT_TRUE(waitFor([&] { return dashboard().has_value(); }))
            << program.process.readAllStandardError().constData();
        EXPECT_EQ(program.process.state(), QProcess::Running);
        program.process.terminate();
        ASSERT_TRUE(waitUntilEnded(program.process));
        ASSERT_TRUE(waitFor([&] { return !dashboard(); }));
    }
}

// Two launches a few milliseconds apart (a double click, an autostart racing a click): one
// copy stays, holding both the lock and the bus name, and a third launch brings it forward.
TEST_F(ProgramStartLiveTest, TwoStartsAFewMillisecondsApartLeaveOneCopyALaterLaunchReaches)
{
    for (const int apartMs : {0, 4, 15}) {
        SCOPED_TRACE(apartMs);
        ProgramProcess first(home, bus->address(), {});
        QThread::msleep(apartMs);
        ProgramProcess second(home, bus->address(), {});
        ASSERT_TRUE(waitFor([&] { return dashboard().has_value(); }));
        // The loser ends on its own: it handed over to the winner or was told it runs.
        ASSERT_TRUE(waitFor([&] {
            return first.process.state() == QProcess::NotRunning || second.process.state() == QProcess::NotRunning;
        }, 20000)) << "two copies kept running";
        ProgramProcess& survivor = first.process.state() == QProcess::Running ? first : second;
        ASSERT_EQ(survivor.process.state(), QProcess::Running);

        closeWindow(*x, *dashboard());
        ASSERT_TRUE(waitFor([&] { return !dashboard(); }));
        ProgramProcess third(home, bus->address(), {});
        ASSERT_TRUE(waitUntilEnded(third.process)) << "a third launch kept running";
        EXPECT_EQ(third.process.exitCode(), 0) << third.process.readAllStandardError().constData();
        EXPECT_TRUE(waitFor([&] { return dashboard().has_value(); })) << "the survivor was not brought forward";
        EXPECT_EQ(survivor.process.state(), QProcess::Running);

        survivor.process.terminate();
        ASSERT_TRUE(waitUntilEnded(survivor.process));
        ASSERT_TRUE(waitFor([&] { return !dashboard(); }));
    }
}

// A copy that lost the lock may hold the bus name for a moment while it leaves (as copies of
// an earlier build did): the lock's owner takes the name once it is free, so that later
// launches still reach it rather than being told it runs.
TEST_F(ProgramStartLiveTest, TheLockOwnerTakesTheNameOnceACopyLeavingWithItHasGone)
{
    const QString display = qEnvironmentVariable("DISPLAY", QStringLiteral(":0"));
    // Named after this test's bus, and let go of however the test ends: a connection of the
    // same name left open would be handed out again, still on a bus that has gone.
    const QString connectionName = QStringLiteral("leaving-copy ") + bus->address();
    const auto disconnect = qScopeGuard([&] { QDBusConnection::disconnectFromBus(connectionName); });
    QDBusConnection leaving = QDBusConnection::connectToBus(bus->address(), connectionName);
    ASSERT_TRUE(leaving.registerService(SessionBusActivation::serviceName(display)));
    ProgramProcess program(home, bus->address(), {});
    // It asks the holder, which has no answer, meanwhile.
    pumpEventsFor(3000);
    ASSERT_TRUE(leaving.unregisterService(SessionBusActivation::serviceName(display)));
    ASSERT_TRUE(waitFor([&] { return dashboard().has_value(); })) << program.process.readAllStandardError().constData();
    closeWindow(*x, *dashboard());
    ASSERT_TRUE(waitFor([&] { return !dashboard(); }));

    ProgramProcess again(home, bus->address(), {});
    ASSERT_TRUE(waitUntilEnded(again.process));
    EXPECT_EQ(again.process.exitCode(), 0) << again.process.readAllStandardError().constData()
                                           << program.process.readAllStandardError().constData();
    EXPECT_TRUE(waitFor([&] { return dashboard().has_value(); })) << "the running copy was not brought forward";
    EXPECT_EQ(program.process.state(), QProcess::Running) << program.process.readAllStandardError().constData();
}

} // namespace
} // namespace zen
