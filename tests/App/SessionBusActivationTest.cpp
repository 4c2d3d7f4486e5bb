#include "App/SessionBusActivation.h"

#include "Platform/Linux/MainAppLaunchAtLoginService.h"
#include "Support/LiveDesktop.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>

namespace zen {
namespace {

using testsupport::SessionBusProcess;
using testsupport::waitFor;

struct SessionBusActivationTest : ::testing::Test {
    std::unique_ptr<SessionBusProcess> daemon;
    std::vector<QString> connections;

    void SetUp() override
    {
        if (!testsupport::hasTool("dbus-daemon"))
            GTEST_SKIP() << "dbus-daemon is not installed";
        daemon = std::make_unique<SessionBusProcess>();
        ASSERT_FALSE(daemon->address().isEmpty());
    }
    void TearDown() override
    {
        for (const QString& name : connections)
            QDBusConnection::disconnectFromBus(name);
    }

    // A connection of its own, as another process would have.
    QDBusConnection connect()
    {
        const QString name = QStringLiteral("activation-test-%1").arg(connections.size());
        connections.push_back(name);
        return QDBusConnection::connectToBus(daemon->address(), name);
    }
};

TEST(SessionBusActivationNameTest, OneValidNamePerDisplayWhateverTheScreen)
{
    EXPECT_EQ(SessionBusActivation::serviceName(":0"), "com.zentharion.Zentharion.Display__3a0");
    EXPECT_EQ(SessionBusActivation::serviceName(":0.1"), SessionBusActivation::serviceName("unix:0"));
    EXPECT_NE(SessionBusActivation::serviceName(":1"), SessionBusActivation::serviceName(":0"));
    EXPECT_NE(SessionBusActivation::serviceName("a.b:0"), SessionBusActivation::serviceName("a_b:0"));
    // Bus names end at 255 characters.
    EXPECT_LE(SessionBusActivation::serviceName(QString(300, u'h') + ":0").size(), 255);
}

// The autostart entry the program writes marks its launches as launches at login; a launch
// from the menu entry or a terminal is not one.
TEST(SessionBusActivationNameTest, TheAutostartEntryMarksALaunchAtLogin)
{
    QTemporaryDir dir;
    MainAppLaunchAtLoginService service({dir.filePath("autostart"), {}, QCoreApplication::applicationFilePath(), {}});
    ASSERT_TRUE(service.registerItem());
    const auto arguments = MainAppLaunchAtLoginService::entryArguments(service.userEntryPath());
    ASSERT_TRUE(arguments);
    EXPECT_TRUE(SessionBusActivation::requestFrom(*arguments).atLogin);
    EXPECT_FALSE(SessionBusActivation::requestFrom({"zentharion"}).atLogin);
}

TEST(SessionBusActivationNameTest, AddressValuesEscapeEveryByteButTheFewThatStand)
{
    struct Case {
        const char* value;
        const char* escaped;
    };
    for (const Case& c : {Case{"/run/user/1000/bus", "/run/user/1000/bus"}, Case{"a-b_c.d\\e*f", "a-b_c.d\\e*f"},
                          Case{"/tmp/run time,x/bus", "/tmp/run%20time%2cx/bus"}, Case{"=;%", "%3d%3b%25"},
                          Case{"\u00e4", "%c3%a4"}})
        EXPECT_EQ(SessionBusActivation::escapedAddressValue(QString::fromUtf8(c.value)), c.escaped) << c.value;
}

// The user's bus socket in a runtime folder whose name the bus address must escape.
TEST(SessionBusActivationRuntimeTest, ABusInARuntimeFolderNamedWithASpaceAndACommaIsReached)
{
    if (!testsupport::hasTool("dbus-daemon"))
        GTEST_SKIP() << "dbus-daemon is not installed";
    QTemporaryDir root;
    ASSERT_TRUE(QDir().mkpath(root.filePath("run time,1")));
    ASSERT_FALSE(root.path().contains(QRegularExpression("[^-A-Za-z0-9_/.]"))) << "the address below is written by hand";
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address",
                                 "--address=unix:path=" + root.path() + "/run%20time%2c1/bus"});
    ASSERT_TRUE(daemon.waitForStarted());
    QByteArray printed;
    ASSERT_TRUE(waitFor([&] {
        printed += daemon.readAllStandardOutput();
        return printed.contains('\n');
    }, 10000));

    QProcessEnvironment environment;
    environment.insert("XDG_RUNTIME_DIR", root.filePath("run time,1"));
    const auto bus = SessionBusActivation::environmentSessionBus(environment);
    ASSERT_TRUE(bus);
    // A later launch reaches the running copy through it.
    const auto other = QDBusConnection::connectToBus(QString::fromUtf8(printed.trimmed()), "runtime-test-first");
    {
        SessionBusActivation first(other, ":7"), later(*bus, ":7");
        ASSERT_EQ(first.claim(), SessionBusActivation::Claim::ours);
        EXPECT_EQ(later.claim(), SessionBusActivation::Claim::heldByOther);
        EXPECT_TRUE(later.askRunningCopy({}));
    }
    QDBusConnection::disconnectFromBus(bus->name());
    QDBusConnection::disconnectFromBus("runtime-test-first");
    daemon.terminate();
    daemon.waitForFinished(5000);
}

TEST_F(SessionBusActivationTest, OnlyABusTheEnvironmentNamesIsUsed)
{
    QTemporaryDir runtime;
    const auto environment = [&](const QString& address, const QString& runtimeDir) {
        QProcessEnvironment e;
        if (!address.isEmpty())
            e.insert("DBUS_SESSION_BUS_ADDRESS", address);
        if (!runtimeDir.isEmpty())
            e.insert("XDG_RUNTIME_DIR", runtimeDir);
        return e;
    };
    // Nothing named: no bus, rather than one the bus library would start through X11.
    EXPECT_FALSE(SessionBusActivation::environmentSessionBus(environment({}, {})));
    EXPECT_FALSE(SessionBusActivation::environmentSessionBus(environment("unix:path=/nonexistent/bus", {})));
    // A plain file where the user's bus socket would be is no bus.
    QFile notASocket(runtime.filePath("bus"));
    ASSERT_TRUE(notASocket.open(QIODevice::WriteOnly));
    notASocket.close();
    EXPECT_FALSE(SessionBusActivation::environmentSessionBus(environment({}, runtime.path())));

    const auto named = SessionBusActivation::environmentSessionBus(environment(daemon->address(), {}));
    ASSERT_TRUE(named);
    EXPECT_TRUE(named->isConnected());
    QDBusConnection::disconnectFromBus(named->name());
    // The user's bus socket in the runtime folder, where the daemon listens.
    const QString address = daemon->address();
    ASSERT_TRUE(address.startsWith("unix:path=") && address.contains("/bus,"));
    const QString runtimeDir = address.mid(10, address.indexOf("/bus,") - 10);
    const auto socket = SessionBusActivation::environmentSessionBus(environment({}, runtimeDir));
    ASSERT_TRUE(socket);
    EXPECT_TRUE(socket->isConnected());
    QDBusConnection::disconnectFromBus(socket->name());
}

// The story of three launches on one display and one on another.
TEST_F(SessionBusActivationTest, ALaterLaunchReachesTheCopyOnItsDisplayAndTakesOverWhenThatOneIsGone)
{
    auto first = std::make_unique<SessionBusActivation>(connect(), ":0");
    ASSERT_EQ(first->claim(), SessionBusActivation::Claim::ours);

    SessionBusActivation otherDisplay(connect(), ":1");
    EXPECT_EQ(otherDisplay.claim(), SessionBusActivation::Claim::ours);
    // Whatever DISPLAY holds makes a name the bus accepts.
    for (const QString& display : {QStringLiteral("../9 weird \u00e4.example:3"), QString(300, u'h') + ":0"}) {
        SessionBusActivation odd(connect(), display);
        EXPECT_EQ(odd.claim(), SessionBusActivation::Claim::ours) << display.toStdString();
    }

    // Asked before it has a handler (still starting): the request waits for it.
    SessionBusActivation second(connect(), ":0.0");
    ASSERT_EQ(second.claim(), SessionBusActivation::Claim::heldByOther);
    EXPECT_TRUE(second.askRunningCopy({.atLogin = true}));
    std::vector<bool> asked;
    QCoreApplication::processEvents();
    first->setHandler([&](const SessionBusActivation::Request& request) { asked.push_back(request.atLogin); });
    EXPECT_EQ(asked, std::vector<bool>{true});
    EXPECT_TRUE(second.askRunningCopy({}));
    EXPECT_TRUE(waitFor([&] { return asked.size() == 2; }, 5000));
    EXPECT_EQ(asked, (std::vector<bool>{true, false}));

    // Once the first copy is gone (its connection closed), nobody answers and a later launch
    // is the running copy.
    first.reset();
    QDBusConnection::disconnectFromBus(connections.front());
    EXPECT_FALSE(second.askRunningCopy({}, 2000));
    EXPECT_EQ(second.claim(), SessionBusActivation::Claim::ours);
}

// The copy holding the name may answer before the asking thread is ready for the answer (here
// the bus library's own thread answers at once that there is no such object). Asked again and
// again while other threads take every core, so that the asking thread is interrupted anywhere,
// every ask returns.
TEST_F(SessionBusActivationTest, EveryAskReturnsHoweverSoonTheAnswerComes)
{
    QDBusConnection holder = connect();
    ASSERT_TRUE(holder.registerService(SessionBusActivation::serviceName(":0")));
    SessionBusActivation starting(connect(), ":0");
    ASSERT_EQ(starting.claim(), SessionBusActivation::Claim::heldByOther);

    std::atomic<int> asked = 0;
    std::atomic<bool> done = false;
    std::vector<std::jthread> threads;
    const auto stop = qScopeGuard([&] { done = true; });
    for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i)
        threads.emplace_back([&] {
            while (!done) {
            }
        });
    // A lost answer keeps an ask waiting for good: the run ends, saying so.
    threads.emplace_back([&] {
        for (int seen = -1, quiet = 0; !done; std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
            quiet = asked == seen ? quiet + 1 : 0;
            seen = asked;
            if (quiet == 100) {
                std::fprintf(stderr, "An ask of the running copy never returned\n");
                std::_Exit(1);
            }
        }
    });
    for (; asked < 3000; ++asked)
        ASSERT_FALSE(starting.askRunningCopy({}, 5000, SessionBusActivation::NameOwner::current));
}

// Anyone on the bus may call as often, and send as much, as they like: calls that come while
// one waits are folded into it (a user's launch wins over launches at login), and a dictionary
// is read no further than the keys the call defines.
TEST_F(SessionBusActivationTest, AFloodOfCallsRunsTheHandlerAFewTimesAndAHugeDictionaryIsNotRead)
{
    SessionBusActivation running(connect(), ":0");
    ASSERT_EQ(running.claim(), SessionBusActivation::Claim::ours);
    std::vector<bool> runs;
    running.setHandler([&](const SessionBusActivation::Request& request) { runs.push_back(request.atLogin); });

    const auto activate = [](const QVariantMap& platformData) {
        QDBusMessage call = QDBusMessage::createMethodCall(SessionBusActivation::serviceName(":0"),
                                                           SessionBusActivation::objectPath,
                                                           SessionBusActivation::interfaceName, "Activate");
        call << platformData;
        return call;
    };
    // Sent from another thread, as from another program, while this one is busy.
    constexpr int calls = 2000;
    QDBusConnection flooder = connect();
    std::optional<QDBusPendingCall> last;
    std::thread([&] {
        for (int i = 0; i < calls; ++i)
            flooder.send(activate({{"autostart", i != calls / 2}}));
        last = flooder.asyncCall(activate({{"autostart", true}}), 60000);
    }).join();
    // The bus keeps one sender's calls in order: once the last is answered, all were.
    ASSERT_TRUE(waitFor([&] { return last->isFinished(); }, 60000));
    QCoreApplication::processEvents();
    EXPECT_LT(runs.size() * 10, std::size_t(calls));
    EXPECT_NE(std::ranges::find(runs, false), runs.end()) << "the user's launch was lost in the flood";

    // A hundred thousand entries before the key the call knows: answered, and the key is never
    // reached.
    // (The dictionary goes in key order: every "a0…" key before "autostart".)
    QVariantMap hugeLoginLaunch;
    for (int i = 0; i < 100000; ++i)
        hugeLoginLaunch.insert(QStringLiteral("a%1").arg(i, 6, 10, QLatin1Char('0')), i);
    hugeLoginLaunch.insert(QStringLiteral("autostart"), true);
    runs.clear();
    const QDBusPendingCall huge = flooder.asyncCall(activate(hugeLoginLaunch), 60000);
    ASSERT_TRUE(waitFor([&] { return huge.isFinished(); }, 60000));
    EXPECT_EQ(huge.reply().type(), QDBusMessage::ReplyMessage) << huge.reply().errorMessage().toStdString();
    ASSERT_TRUE(waitFor([&] { return !runs.empty(); }, 10000));
    EXPECT_EQ(runs, std::vector<bool>{false}) << "a key past the first entries was read";
}

} // namespace
} // namespace zen
