#include "App/SessionBusActivation.h"

#include "Platform/Linux/MainAppLaunchAtLoginService.h"
#include "Support/LiveDesktop.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

} // namespace
} // namespace zen
