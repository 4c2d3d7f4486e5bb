// The real program under a tray that speaks D-Bus (status notifier items with their menus
// exported over the bus) instead of embedding icons: the host reads the menu whenever it likes,
// and not every host announces that a menu is about to open before reading it.
#include "App/MenuBarMenu.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/ProgramOnBusTest.h"
#include "Support/SnapshotFixtures.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QObject>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>

namespace zen {
namespace {

using namespace testsupport;

// The watcher a desktop's tray host runs: items register with it and learn that a host shows them.
class StatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return m_items; }
    QString sender;

public slots:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message)
    {
        m_items << service;
        // Items name either a bus name or an object path on their own connection.
        sender = service.startsWith(QLatin1Char('/')) ? message.service() : service;
    }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    QStringList m_items;
};

// One entry of a menu layout as the host receives it.
struct MenuEntry {
    int id = 0;
    QVariantMap properties;
    QList<MenuEntry> children;
};

MenuEntry readEntry(const QDBusArgument& argument)
{
    MenuEntry entry;
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        entry.children << readEntry(qvariant_cast<QDBusArgument>(child.variant()));
    }
    argument.endArray();
    argument.endStructure();
    return entry;
}

QStringList labels(const MenuEntry& entry)
{
    QStringList out;
    for (const MenuEntry& child : entry.children)
        out << child.properties.value(QStringLiteral("label")).toString();
    return out;
}

struct DBusTrayLiveTest : ProgramOnBusTest {
    std::unique_ptr<QDBusConnection> connection;
    StatusNotifierWatcher watcher;

    void SetUp() override
    {
        ProgramOnBusTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(bus->address(), QStringLiteral("zen-dbus-tray-host")));
        ASSERT_TRUE(connection->isConnected());
        ASSERT_TRUE(connection->registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                               QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
        ASSERT_TRUE(connection->registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    }
    void TearDown() override
    {
        if (connection)
            QDBusConnection::disconnectFromBus(QStringLiteral("zen-dbus-tray-host"));
    }

    // Calls without blocking this process's event loop: the program may call the watcher at the
    // same moment, and two blocking callers would wait for each other.
    QDBusMessage call(const QDBusMessage& message)
    {
        QDBusPendingCall pending = connection->asyncCall(message, 5000);
        waitFor([&] { return pending.isFinished(); }, 6000, 5);
        return pending.reply();
    }

    // The menu's layout as a host reads it, or nothing when the call failed.
    std::optional<MenuEntry> layout(const QString& service, const QString& path, int parent = 0)
    {
        QDBusMessage request = QDBusMessage::createMethodCall(service, path, QStringLiteral("com.canonical.dbusmenu"),
                                                           QStringLiteral("GetLayout"));
        request << parent << -1 << QStringList();
        const QDBusMessage reply = call(request);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
            return std::nullopt;
        return readEntry(qvariant_cast<QDBusArgument>(reply.arguments().at(1)));
    }
};

bool anyContains(const QStringList& texts, const QString& part)
{
    return std::ranges::any_of(texts, [&](const QString& text) { return text.contains(part); });
}

TEST_F(DBusTrayLiveTest, AHostThatReadsTheMenuWithoutAnnouncingItFindsEveryRowAndItsClicksWork)
{
    // More than the menu lists at its top: the rest are in a submenu, which must be filled too.
    const int layouts = int(MenuBarMenu::recentLayoutCount) + 2;
    for (int i = 0; i < layouts; ++i)
        ASSERT_TRUE(SnapshotStore(home.snapshotsFolder()).save(test::makeSnapshot(QStringLiteral("Desk %1").arg(i))));
    ProgramProcess program(home, bus->address(), {});
    ASSERT_TRUE(program.process.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return !watcher.sender.isEmpty(); })) << "the program never offered its icon over D-Bus";

    QDBusMessage get = QDBusMessage::createMethodCall(watcher.sender, QStringLiteral("/StatusNotifierItem"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("Menu");
    const QDBusMessage menuReply = call(get);
    ASSERT_EQ(menuReply.type(), QDBusMessage::ReplyMessage) << menuReply.errorMessage().toStdString();
    const QString menuPath =
        qvariant_cast<QDBusObjectPath>(qvariant_cast<QDBusVariant>(menuReply.arguments().value(0)).variant()).path();
    ASSERT_FALSE(menuPath.isEmpty());

    // No AboutToShow first: the rows must come for a host that reads the layout outright, and
    // follow the listing of the layouts once it is in.
    std::optional<MenuEntry> menu;
    QStringList rows;
    const auto everyRow = [&] {
        menu = layout(watcher.sender, menuPath);
        if (!menu)
            return false;
        rows = labels(*menu);
        for (const MenuEntry& entry : menu->children)
            rows << labels(entry);
        for (int i = 0; i < layouts; ++i)
            if (!anyContains(rows, QStringLiteral("Desk %1").arg(i)))
                return false;
        return anyContains(rows, QStringLiteral("Open Zentharion"));
    };
    ASSERT_TRUE(waitFor(everyRow, 10000, 100)) << "the exported menu reads: " << rows.join(QStringLiteral(" | ")).toStdString();

    // A tray on the bus is a tray: nothing opens a window on its own.
    waitFor([] { return false; }, 2600);
    EXPECT_FALSE(shownProgramWindow(*x, QStringLiteral("Zentharion"))) << "the dashboard opened although a tray shows the icon";

    // Choosing a row the way a host does opens what it says.
    const auto open = std::ranges::find_if(menu->children, [](const MenuEntry& entry) {
        return entry.properties.value(QStringLiteral("label")).toString().contains(QStringLiteral("Open Zentharion"));
    });
    ASSERT_NE(open, menu->children.end());
    QDBusMessage event = QDBusMessage::createMethodCall(watcher.sender, menuPath, QStringLiteral("com.canonical.dbusmenu"),
                                                        QStringLiteral("Event"));
    event << open->id << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(0)) << 0u;
    connection->call(event, QDBus::NoBlock);
    EXPECT_TRUE(waitFor([&] { return shownProgramWindow(*x, QStringLiteral("Zentharion")).has_value(); }))
        << "choosing Open Zentharion in the host's menu opened nothing";
}

} // namespace
} // namespace zen

#include "DBusTrayLiveTest.moc"
