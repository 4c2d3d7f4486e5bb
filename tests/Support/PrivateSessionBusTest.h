#pragma once

#include "Support/LiveDesktop.h"

#include <QDBusConnection>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace zen::testsupport {

// A test on a session bus of its own; each connection it makes is another process's.
struct PrivateSessionBusTest : ::testing::Test {
    std::unique_ptr<SessionBusProcess> daemon;
    std::vector<QString> connections;

    void SetUp() override
    {
        if (!hasTool("dbus-daemon"))
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
        const QString name = QStringLiteral("private-bus-test-%1").arg(connections.size());
        connections.push_back(name);
        return QDBusConnection::connectToBus(daemon->address(), name);
    }
};

} // namespace zen::testsupport
