#include "App/SingleInstanceLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace zen {
namespace {

TEST(SingleInstanceLockTest, OneLockPerDisplayWhateverTheScreen)
{
    struct Case {
        const char* display;
        const char* normalized;
    };
    for (const Case& c : {Case{":0", ":0"}, Case{":0.1", ":0"}, Case{"unix:0", ":0"},
                          Case{"localhost:10.0", "localhost:10"}, Case{"xcb", "xcb"}})
        EXPECT_EQ(SingleInstanceLock::normalizedDisplay(c.display), c.normalized) << c.display;
    EXPECT_EQ(SingleInstanceLock::lockFileName(":0.0"), "zentharion-display_0.lock");
    EXPECT_EQ(SingleInstanceLock::lockFileName("../../etc/x:1"), "zentharion-display.._.._etc_x_1.lock");
}

TEST(SingleInstanceLockTest, ASecondCopyOnTheSameDisplayIsRefusedUntilTheFirstEnds)
{
    QTemporaryDir dir;
    auto first = std::make_unique<SingleInstanceLock>(dir.path(), ":0");
    ASSERT_EQ(first->tryLock(), SingleInstanceLock::Outcome::acquired);

    SingleInstanceLock second(dir.path(), ":0.0");
    EXPECT_EQ(second.tryLock(), SingleInstanceLock::Outcome::alreadyRunning);
    EXPECT_EQ(second.alreadyRunningMessage(), "Zentharion is already running on display :0.");
    SingleInstanceLock otherDisplay(dir.path(), ":1");
    EXPECT_EQ(otherDisplay.tryLock(), SingleInstanceLock::Outcome::acquired);

    first.reset();
    EXPECT_EQ(second.tryLock(), SingleInstanceLock::Outcome::acquired);
}

TEST(SingleInstanceLockTest, AnUnwritableFolderDoesNotCountAsAnotherCopy)
{
    SingleInstanceLock lock("/nonexistent/zentharion-test", ":0");
    EXPECT_EQ(lock.tryLock(), SingleInstanceLock::Outcome::unavailable);
}

constexpr char holderFolderVariable[] = "ZEN_INSTANCE_LOCK_TEST_FOLDER";

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray contentsOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

// Whatever a crash, a stray tool or a hostile hand left under the lock's name, no copy holds
// it: a start gets the lock, and nothing outside the folder is touched.
TEST(SingleInstanceLockTest, NothingButALiveCopyStopsAStart)
{
    QTemporaryDir dir, elsewhere;
    const QString victim = elsewhere.filePath("victim");
    ASSERT_TRUE(writeFile(victim, "untouched"));
    const QString lockPath = QDir(dir.path()).filePath(SingleInstanceLock::lockFileName(":0"));
    const auto encoded = [&] { return QFile::encodeName(lockPath); };
    struct Case {
        const char* what;
        std::function<bool()> plant;
    };
    const Case cases[] = {
        {"an empty file", [&] { return writeFile(lockPath, {}); }},
        {"garbage", [&] { return writeFile(lockPath, QByteArray("\0\xff 4242\nsomehost\n", 17)); }},
        {"a link to a file", [&] { return QFile::link(victim, lockPath); }},
        {"a dangling link", [&] { return QFile::link(elsewhere.filePath("missing"), lockPath); }},
        {"an empty folder", [&] { return QDir().mkdir(lockPath); }},
        {"a named pipe", [&] { return ::mkfifo(encoded().constData(), 0600) == 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir().rmdir(lockPath);
        QFile::remove(lockPath);
        ASSERT_TRUE(c.plant());
        SingleInstanceLock lock(dir.path(), ":0");
        EXPECT_EQ(lock.tryLock(), SingleInstanceLock::Outcome::acquired);
        const QFileInfo entry(lockPath);
        EXPECT_TRUE(entry.isFile() && !entry.isSymLink());
        EXPECT_EQ(SingleInstanceLock(dir.path(), ":0").tryLock(), SingleInstanceLock::Outcome::alreadyRunning);
    }
    EXPECT_EQ(contentsOf(victim), "untouched");
    EXPECT_FALSE(QFileInfo::exists(elsewhere.filePath("missing")));

    // A folder with contents is not ours to empty: the program starts without the check
    // rather than not at all, and the contents stay.
    QDir().rmdir(lockPath);
    QFile::remove(lockPath);
    ASSERT_TRUE(QDir().mkdir(lockPath));
    ASSERT_TRUE(writeFile(lockPath + "/kept", "kept"));
    EXPECT_EQ(SingleInstanceLock(dir.path(), ":0").tryLock(), SingleInstanceLock::Outcome::unavailable);
    EXPECT_EQ(contentsOf(lockPath + "/kept"), "kept");
}

// The other copy is this test binary again, holding the lock until it is killed outright.
TEST(SingleInstanceLockTest, AKilledCopyNeverStopsTheNextStart)
{
    QTemporaryDir dir;
    QProcess holder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(holderFolderVariable, dir.path());
    holder.setProcessEnvironment(environment);
    holder.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--gtest_filter=SingleInstanceLockTest.HoldsTheLockAsTheOtherCopy")});
    ASSERT_TRUE(holder.waitForStarted());
    QByteArray said;
    while (!said.contains("held") && holder.waitForReadyRead(30000))
        said += holder.readAllStandardOutput();
    ASSERT_TRUE(said.contains("held")) << said.constData();

    SingleInstanceLock next(dir.path(), ":0");
    EXPECT_EQ(next.tryLock(), SingleInstanceLock::Outcome::alreadyRunning);
    ::kill(pid_t(holder.processId()), SIGKILL);
    ASSERT_TRUE(holder.waitForFinished(10000));
    EXPECT_EQ(next.tryLock(), SingleInstanceLock::Outcome::acquired);
}

TEST(SingleInstanceLockTest, HoldsTheLockAsTheOtherCopy)
{
    const QString folder = qEnvironmentVariable(holderFolderVariable);
    if (folder.isEmpty())
        GTEST_SKIP() << "runs only as the other copy of AKilledCopyNeverStopsTheNextStart";
    SingleInstanceLock lock(folder, ":0");
    ASSERT_EQ(lock.tryLock(), SingleInstanceLock::Outcome::acquired);
    std::printf("held\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::minutes(2));
}

// Never a file of the shared temporary folder, where another user could plant one first.
TEST(SingleInstanceLockTest, TheLockLivesInAFolderOnlyThisUserCanWriteIn)
{
    const QString own = QStringLiteral("zentharion-%1").arg(::geteuid());
    struct Case {
        const char* what;
        std::function<void(const QTemporaryDir&)> prepare;
        const char* expected; // relative to the case's folder; "" for none
    };
    const auto folder = [](const QString& path, mode_t mode) {
        ASSERT_TRUE(QDir().mkpath(path));
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
    };
    const bool root = ::geteuid() == 0;
    const Case cases[] = {
        {"a private runtime folder", [&](const QTemporaryDir& d) { folder(d.filePath("run"), 0700); }, "run"},
        {"a runtime folder others may enter",
         [&](const QTemporaryDir& d) { folder(d.filePath("run"), 0755); }, "tmp/%1"},
        {"a folder of ours opened to others",
         [&](const QTemporaryDir& d) { folder(d.filePath("tmp/" + own), 0777); }, "tmp/%1"},
        {"a link where our folder would be",
         [&](const QTemporaryDir& d) {
             folder(d.filePath("mine"), 0700);
             ASSERT_TRUE(QFile::link(d.filePath("mine"), d.filePath("tmp/" + own)));
         },
         "cache/zentharion"},
        {"another user's folder where ours would be",
         [&](const QTemporaryDir& d) {
             folder(d.filePath("tmp/" + own), 0700);
             if (root)
                 ASSERT_EQ(::chown(QFile::encodeName(d.filePath("tmp/" + own)).constData(), 4242, 4242), 0);
         },
         root ? "cache/zentharion" : "tmp/%1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir d;
        ASSERT_TRUE(QDir().mkpath(d.filePath("tmp")));
        c.prepare(d);
        const QString found = SingleInstanceLock::privateDirectory(d.filePath("run"), d.filePath("tmp"), d.filePath("cache"));
        EXPECT_EQ(found, d.filePath(QString::fromLatin1(c.expected).replace("%1", own)));
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(found).constData(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0);
    }
    EXPECT_EQ(SingleInstanceLock::privateDirectory({}, {}, {}), QString());
}

} // namespace
} // namespace zen
