// The real program ended as a session ends it (SIGTERM) and as a crash or the kernel ends it
// (SIGKILL): it leaves nothing of its own in the temporary folder, and after SIGTERM it has
// ended cleanly, its lock and bus name free at once.
#include "App/SessionBusActivation.h"
#include "App/SingleInstanceLock.h"
#include "Support/ProgramOnBusTest.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace zen {
namespace {

using namespace testsupport;

struct ProgramEndingLiveTest : ProgramOnBusTest {
    // The program's TMPDIR: a folder of the test's own, empty but for what the program leaves.
    QTemporaryDir temporary;
    const QString display = qEnvironmentVariable("DISPLAY", QStringLiteral(":0"));

    std::unique_ptr<ProgramProcess> start()
    {
        const QByteArray saved = qgetenv("TMPDIR");
        const auto restore = qScopeGuard([&] {
            if (saved.isNull())
                qunsetenv("TMPDIR");
            else
                qputenv("TMPDIR", saved);
        });
        qputenv("TMPDIR", QFile::encodeName(temporary.path()));
        return std::make_unique<ProgramProcess>(home, bus->address(), QStringList());
    }
    // Without a tray the program opens its dashboard once it has started: then it is idle.
    bool shown() { return shownProgramWindow(*x, QStringLiteral("Zentharion")).has_value(); }
    // What is left in the program's TMPDIR, by name.
    std::string leftInTemporary() const
    {
        return QDir(temporary.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
            .join(u' ')
            .toStdString();
    }
    bool lockFree() const
    {
        const QString path = home.filePath(QStringLiteral("runtime/") + SingleInstanceLock::lockFileName(display));
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (fd >= 0)
            ::close(fd);
        return free;
    }
    bool nameTaken() const
    {
        const QString connection = QStringLiteral("ending-test ") + bus->address();
        const auto disconnect = qScopeGuard([&] { QDBusConnection::disconnectFromBus(connection); });
        const QDBusConnection onBus = QDBusConnection::connectToBus(bus->address(), connection);
        return onBus.interface() && onBus.interface()->isServiceRegistered(SessionBusActivation::serviceName(display));
    }
};

TEST_F(ProgramEndingLiveTest, EndedBySigtermOrSigkillItLeavesNothingInTheTemporaryFolder)
{
    ASSERT_TRUE(QFile::exists(home.settingsFile())) << "the program is to start with saved settings";
    {
        const auto program = start();
        ASSERT_TRUE(waitFor([&] { return shown(); })) << program->process.readAllStandardError().constData();
        ASSERT_FALSE(lockFree());
        ASSERT_TRUE(nameTaken());
        program->process.terminate();
        ASSERT_TRUE(waitUntilEnded(program->process));
        EXPECT_EQ(program->process.exitStatus(), QProcess::NormalExit) << "SIGTERM was not handled";
        EXPECT_EQ(program->process.exitCode(), 0);
        EXPECT_TRUE(lockFree());
        EXPECT_FALSE(nameTaken());
        EXPECT_EQ(leftInTemporary(), "");
    }
    {
        const auto program = start();
        ASSERT_TRUE(waitFor([&] { return shown(); })) << program->process.readAllStandardError().constData();
        ::kill(pid_t(program->process.processId()), SIGKILL);
        ASSERT_TRUE(waitUntilEnded(program->process));
        EXPECT_EQ(leftInTemporary(), "");
    }
}

} // namespace
} // namespace zen
