#include "App/SessionBusActivation.h"

#include "Platform/Linux/MainAppLaunchAtLoginService.h"
#include "Support/PrivateSessionBusTest.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <thread>

#include <unistd.h>

namespace zen {
namespace {

using testsupport::SessionBusProcess;
using testsupport::waitFor;

struct SessionBusActivationTest : testsupport::PrivateSessionBusTest {};

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

// Without a bus named in the environment the bus library would start one of its own through
// X11: only an address, or the user's own bus socket in the runtime folder, counts.
TEST(SessionBusActivationNameTest, OnlyABusTheEnvironmentNamesCounts)
{
    QTemporaryDir runtime, elsewhere;
    QLocalServer socket;
    ASSERT_TRUE(socket.listen(elsewhere.filePath("bus")));
    const QString bus = runtime.filePath("bus");
    struct Case {
        const char* what;
        const char* address;
        std::function<bool()> plant; // the entry named "bus" in the runtime folder
        bool named;
    };
    const Case cases[] = {
        {"nothing", "", [] { return true; }, false},
        {"an address", "unix:path=/nonexistent/bus", [] { return true; }, true},
        {"a link to a socket", "", [&] { return QFile::link(elsewhere.filePath("bus"), bus); }, false},
        {"a plain file", "", [&] { return QFile(bus).open(QIODevice::WriteOnly); }, false},
        {"the user's bus socket", "", [&] { return QFile::rename(elsewhere.filePath("bus"), bus); }, true},
        {"another user's bus socket", "",
         [&] { return ::geteuid() != 0 || ::chown(QFile::encodeName(bus).constData(), 4242, 4242) == 0; },
         ::geteuid() != 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (QFileInfo(bus).isSymLink() || QFileInfo(bus).isFile()) {
            ASSERT_TRUE(QFile::remove(bus));
        }
        ASSERT_TRUE(c.plant());
        QProcessEnvironment environment;
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        if (*c.address)
            environment.insert("DBUS_SESSION_BUS_ADDRESS", c.address);
        EXPECT_EQ(SessionBusActivation::environmentNamesSessionBus(environment), c.named);
    }
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
// again, so that the answer comes at every point of the ask, every ask returns.
TEST_F(SessionBusActivationTest, EveryAskReturnsHoweverSoonTheAnswerComes)
{
    QDBusConnection holder = connect();
    ASSERT_TRUE(holder.registerService(SessionBusActivation::serviceName(":0")));
    SessionBusActivation starting(connect(), ":0");
    ASSERT_EQ(starting.claim(), SessionBusActivation::Claim::heldByOther);

    // A lost answer keeps an ask waiting for good: the run ends, saying so.
    std::atomic<int> asked = 0;
    std::atomic<bool> done = false;
    std::jthread watch([&] {
        for (int seen = -1, quiet = 0; !done; std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
            quiet = asked == seen ? quiet + 1 : 0;
            seen = asked;
            if (quiet == 100) {
                std::fprintf(stderr, "An ask of the running copy never returned\n");
                std::_Exit(1);
            }
        }
    });
    const auto stop = qScopeGuard([&] { done = true; });
    for (; asked < 300; ++asked)
        ASSERT_FALSE(starting.askRunningCopy({}, 60000, SessionBusActivation::NameOwner::current));
}

QDBusMessage activateCall(const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(SessionBusActivation::serviceName(":0"),
                                                       SessionBusActivation::objectPath,
                                                       SessionBusActivation::interfaceName, "Activate");
    call.setArguments(arguments);
    return call;
}

// Anyone on the bus may call as often as they like: calls that come while one waits are folded
// into it, and a user's launch wins over launches at login.
TEST_F(SessionBusActivationTest, AFloodOfCallsRunsTheHandlerAFewTimes)
{
    SessionBusActivation running(connect(), ":0");
    ASSERT_EQ(running.claim(), SessionBusActivation::Claim::ours);
    std::vector<bool> runs;
    running.setHandler([&](const SessionBusActivation::Request& request) { runs.push_back(request.atLogin); });

    // Sent from another thread, as from another program, while this one is busy.
    constexpr int calls = 2000;
    QDBusConnection flooder = connect();
    std::optional<QDBusPendingCall> last;
    std::thread([&] {
        for (int i = 0; i < calls; ++i)
            flooder.send(activateCall({i != calls / 2}));
        last = flooder.asyncCall(activateCall({true}), 60000);
    }).join();
    // The bus keeps one sender's calls in order: once the last is answered, all were.
    ASSERT_TRUE(waitFor([&] { return last->isFinished(); }, 60000));
    QCoreApplication::processEvents();
    EXPECT_LT(runs.size() * 10, std::size_t(calls));
    EXPECT_NE(std::ranges::find(runs, false), runs.end()) << "the user's launch was lost in the flood";
}

// The platform data of a desktop's activation call: a dictionary, here of `entries` entries
// written one by one as they go out.
struct PlatformData {
    int entries = 0;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PlatformData& data)
{
    argument.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QDBusVariant>());
    const QString key = QStringLiteral("desktop-startup-id");
    const QDBusVariant value(QStringLiteral("zentharion-test"));
    for (int i = 0; i < data.entries; ++i) {
        argument.beginMapEntry();
        argument << key << value;
        argument.endMapEntry();
    }
    argument.endMap();
    return argument;
}

// Never read.
const QDBusArgument& operator>>(const QDBusArgument& argument, PlatformData&)
{
    return argument;
}

constexpr char callerBusVariable[] = "ZEN_ACTIVATION_TEST_CALLER_BUS";

// A call of any other shape than the one flag is refused unread, however large: the caller is
// this test binary again, sending a desktop's platform data of a million entries, no flag, a
// text and two flags. (Its allocations are not traced step by step: only the time to write the
// call out would grow.)
TEST_F(SessionBusActivationTest, ACallOfAnyOtherShapeIsRefusedUnreadHoweverLarge)
{
    SessionBusActivation running(connect(), ":0");
    ASSERT_EQ(running.claim(), SessionBusActivation::Claim::ours);
    std::vector<bool> runs;
    running.setHandler([&](const SessionBusActivation::Request& request) { runs.push_back(request.atLogin); });

    QProcess caller;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(callerBusVariable, daemon->address());
    environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":fast_unwind_on_malloc=1");
    caller.setProcessEnvironment(environment);
    caller.start(QCoreApplication::applicationFilePath(),
                 {"--gtest_filter=SessionBusActivationCallerTest.CallsAsAnotherProgram"});
    // The events run meanwhile: this copy answers.
    ASSERT_TRUE(waitFor([&] { return caller.state() == QProcess::NotRunning; }, 120000));
    const QByteArray said = caller.readAllStandardOutput();
    EXPECT_EQ(caller.exitCode(), 0) << said.constData();
    EXPECT_TRUE(said.contains("[  PASSED  ] 1 test")) << said.constData();
    QCoreApplication::processEvents();
    EXPECT_TRUE(runs.empty()) << "a refused call ran the handler";

    // The one flag still comes through.
    const QDBusPendingCall call = connect().asyncCall(activateCall({false}), 60000);
    ASSERT_TRUE(waitFor([&] { return call.isFinished() && !runs.empty(); }, 60000));
    EXPECT_EQ(runs, std::vector<bool>{false});
}

TEST(SessionBusActivationCallerTest, CallsAsAnotherProgram)
{
    const QString address = qEnvironmentVariable(callerBusVariable);
    if (address.isEmpty())
        GTEST_SKIP() << "runs only as the caller of ACallOfAnyOtherShapeIsRefusedUnreadHoweverLarge";
    qDBusRegisterMetaType<PlatformData>();
    const auto disconnect = qScopeGuard([] { QDBusConnection::disconnectFromBus("activation-test-caller"); });
    QDBusConnection bus = QDBusConnection::connectToBus(address, "activation-test-caller");
    for (const QVariantList& arguments :
         {QVariantList{QVariant::fromValue(PlatformData{1000000})}, QVariantList{}, QVariantList{"true"},
          QVariantList{true, true}}) {
        const QDBusMessage reply = bus.call(activateCall(arguments), QDBus::Block, 60000);
        EXPECT_EQ(reply.errorName(), "org.freedesktop.DBus.Error.UnknownMethod") << reply.errorMessage().toStdString();
    }
}

} // namespace
} // namespace zen
