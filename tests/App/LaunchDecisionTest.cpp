#include "App/LaunchDecision.h"

#include "Support/PrivateSessionBusTest.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace zen {
namespace {

using testsupport::SessionBusProcess;
using testsupport::waitFor;
using Outcome = LaunchDecision::Outcome;
using Request = SessionBusActivation::Request;

// Long enough for an answer on a loaded machine, short for a launch that waits in vain.
constexpr int answerTimeoutMs = 2000;

struct LaunchDecisionTest : testsupport::PrivateSessionBusTest {};

// What holds the lock and the bus name when a launch at login decides, and what it decides:
// handed over means the running copy was asked, once, with this launch's request; a copy that
// runs answers later launches exactly when it could take the name.
TEST_F(LaunchDecisionTest, EachLockAndBusNameMakeTheirOutcome)
{
    enum class Lock { free, held, unavailable };
    enum class Name { free, runningCopy, runningCopySoon, leavingCopy, noBus };
    struct Case {
        const char* what;
        Lock lock;
        Name name;
        Outcome expected;
        bool takesName;
    };
    const Case cases[] = {
        {"the only copy", Lock::free, Name::free, Outcome::run, true},
        {"the only copy, without a bus", Lock::free, Name::noBus, Outcome::run, false},
        {"a copy runs without a lock", Lock::free, Name::runningCopy, Outcome::handedOver, false},
        {"a copy that lost the lock is leaving", Lock::free, Name::leavingCopy, Outcome::run, true},
        {"the lock's owner runs", Lock::held, Name::runningCopy, Outcome::handedOver, false},
        {"the lock's owner is still starting", Lock::held, Name::runningCopySoon, Outcome::handedOver, false},
        {"the lock's owner never takes the name", Lock::held, Name::free, Outcome::alreadyRunning, false},
        {"the lock's owner, without a bus", Lock::held, Name::noBus, Outcome::alreadyRunning, false},
        {"no lock, the only copy", Lock::unavailable, Name::free, Outcome::run, true},
        {"no lock, a copy runs", Lock::unavailable, Name::runningCopy, Outcome::handedOver, false},
        {"no lock, no bus", Lock::unavailable, Name::noBus, Outcome::run, false},
    };
    QTemporaryDir lockFolder;
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Each case on a display of its own.
        const QString display = QStringLiteral(":%1").arg(++index);
        std::optional<SingleInstanceLock> ownersLock;
        if (c.lock == Lock::held) {
            ownersLock.emplace(lockFolder.path(), display);
            ASSERT_EQ(ownersLock->tryLock(), SingleInstanceLock::Outcome::acquired);
        }
        SessionBusActivation runningCopy(connect(), display);
        std::vector<bool> asked;
        runningCopy.setHandler([&](const Request& request) { asked.push_back(request.atLogin); });
        QDBusConnection leaving = connect();
        if (c.name == Name::runningCopy) {
            ASSERT_EQ(runningCopy.claim(), SessionBusActivation::Claim::ours);
        }
        if (c.name == Name::runningCopySoon)
            QTimer::singleShot(200, &runningCopy, [&] { runningCopy.claim(); });
        if (c.name == Name::leavingCopy) {
            ASSERT_TRUE(leaving.registerService(SessionBusActivation::serviceName(display)));
            QTimer::singleShot(300, &runningCopy,
                               [&] { leaving.unregisterService(SessionBusActivation::serviceName(display)); });
        }

        LaunchDecision launch(c.lock == Lock::unavailable ? QStringLiteral("/nonexistent/zentharion-test")
                                                          : lockFolder.path(),
                              display, c.name == Name::noBus ? std::nullopt : std::optional(connect()),
                              answerTimeoutMs);
        EXPECT_EQ(launch.decide({.atLogin = true}), c.expected);
        QCoreApplication::processEvents();
        EXPECT_EQ(asked, c.expected == Outcome::handedOver ? std::vector<bool>{true} : std::vector<bool>{});
        EXPECT_EQ(launch.activation() != nullptr, c.takesName);
        // Holding the name, it is the copy later launches reach.
        if (c.expected == Outcome::run) {
            SessionBusActivation later(connect(), display);
            EXPECT_EQ(later.claim() == SessionBusActivation::Claim::heldByOther, c.takesName);
        }
    }
}

constexpr char laterLaunchVariable[] = "ZEN_LAUNCH_DECISION_TEST_LATER_LAUNCH";

// The bus address names the user's bus socket escaped. The later launch is this test binary
// again, finding its lock folder and session bus from its environment alone, as the program
// does.
TEST(LaunchDecisionRuntimeTest, ALaterLaunchHandsOverInARuntimeFolderNamedWithASpaceAndAComma)
{
    if (!testsupport::hasTool("dbus-daemon"))
        GTEST_SKIP() << "dbus-daemon is not installed";
    QTemporaryDir root;
    const QString runtime = root.filePath("run time,1");
    ASSERT_TRUE(QDir().mkpath(runtime));
    ASSERT_TRUE(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    ASSERT_FALSE(root.path().contains(QRegularExpression("[^-A-Za-z0-9_/.]")))
        << "the address below is written by hand";
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address",
                                 "--address=unix:path=" + root.path() + "/run%20time%2c1/bus"});
    ASSERT_TRUE(daemon.waitForStarted());
    const auto stop = qScopeGuard([&] {
        QDBusConnection::disconnectFromBus("launch-runtime-test");
        daemon.terminate();
        daemon.waitForFinished(5000);
    });
    QByteArray printed;
    ASSERT_TRUE(waitFor([&] {
        printed += daemon.readAllStandardOutput();
        return printed.contains('\n');
    }, 10000));

    SingleInstanceLock lock(runtime, ":7");
    ASSERT_EQ(lock.tryLock(), SingleInstanceLock::Outcome::acquired);
    const QString address = QString::fromUtf8(printed.trimmed());
    SessionBusActivation running(QDBusConnection::connectToBus(address, "launch-runtime-test"), ":7");
    ASSERT_EQ(running.claim(), SessionBusActivation::Claim::ours);
    std::vector<bool> asked;
    running.setHandler([&](const Request& request) { asked.push_back(request.atLogin); });

    QProcess later;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", runtime);
    environment.remove("DBUS_SESSION_BUS_ADDRESS");
    environment.insert(laterLaunchVariable, "1");
    later.setProcessEnvironment(environment);
    later.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=LaunchDecisionRuntimeTest.DecidesAsTheLaterLaunch"});
    // The events run meanwhile: this copy answers.
    ASSERT_TRUE(waitFor([&] { return later.state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(later.exitCode(), 0) << later.readAllStandardOutput().constData();
    EXPECT_TRUE(waitFor([&] { return asked == std::vector<bool>{false}; }, 5000)) << "the running copy was not asked";
}

TEST(LaunchDecisionRuntimeTest, DecidesAsTheLaterLaunch)
{
    if (qEnvironmentVariableIsEmpty(laterLaunchVariable))
        GTEST_SKIP() << "runs only as the later launch of "
                        "ALaterLaunchHandsOverInARuntimeFolderNamedWithASpaceAndAComma";
    LaunchDecision launch(SingleInstanceLock::privateDirectory(), ":7", SessionBusActivation::sessionBus());
    EXPECT_EQ(launch.decide({}), Outcome::handedOver);
}

} // namespace
} // namespace zen
