#include "App/SingleInstanceLock.h"

#include "Support/ScopedVariable.h"

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
#include <optional>
#include <vector>
#include <thread>

#include <pwd.h>
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

using test::ScopedVariable;

// A launch from a shell that lost the session's environment has no XDG_RUNTIME_DIR: it finds
// the lock in the runtime folder the login manager made for the user all the same, and only
// when that folder is the user's own, closed to others and no link. Qt's own folder, in the
// temporary folder here, is taken otherwise.
TEST(SingleInstanceLockTest, ALaunchWithoutTheRuntimeVariableMeetsTheSessionsCopy)
{
    QTemporaryDir root;
    const QString users = root.filePath("user");
    const QString session = QDir(users).filePath(QString::number(::geteuid()));
    const auto folder = [](const QString& path, mode_t mode) {
        return QDir().mkpath(path) && ::chmod(QFile::encodeName(path).constData(), mode) == 0;
    };
    ASSERT_TRUE(folder(session, 0700));
    ASSERT_TRUE(QDir().mkpath(root.filePath("tmp")));
    const ScopedVariable temporary("TMPDIR", root.filePath("tmp"));

    std::optional<SingleInstanceLock> running;
    {
        const ScopedVariable runtime("XDG_RUNTIME_DIR", session);
        running.emplace(SingleInstanceLock::privateDirectory(users), ":0");
        ASSERT_EQ(running->tryLock(), SingleInstanceLock::Outcome::acquired);
    }
    const ScopedVariable runtime("XDG_RUNTIME_DIR", {});
    EXPECT_EQ(SingleInstanceLock(SingleInstanceLock::privateDirectory(users), ":0").tryLock(),
              SingleInstanceLock::Outcome::alreadyRunning);
    running.reset();

    struct Case {
        const char* what;
        std::function<bool()> prepare;
    };
    const auto othersFolder = [&] {
        return folder(session, 0700) && ::chown(QFile::encodeName(session).constData(), 4242, 4242) == 0;
    };
    std::vector<Case> cases = {
        {"a folder others may enter", [&] { return folder(session, 0755); }},
        {"a link to a closed folder of ours",
         [&] { return folder(root.filePath("mine"), 0700) && QFile::link(root.filePath("mine"), session); }},
        {"none", [] { return true; }},
    };
    if (::geteuid() == 0)
        cases.push_back({"another user's folder", othersFolder});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(session);
        QDir(session).removeRecursively();
        ASSERT_TRUE(c.prepare());
        const QString found = SingleInstanceLock::privateDirectory(users);
        EXPECT_TRUE(found.startsWith(root.filePath("tmp/"))) << found.toStdString();
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(found).constData(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0);
    }
}

// Without a runtime folder of the session's, Qt's own lies in the shared temporary folder,
// where anyone may take its name first: a folder of theirs, a link, a file. The check for
// another copy holds all the same, in the user's cache folder, and nothing is written outside
// the test's folders.
TEST(SingleInstanceLockTest, ANamePlantedInTheSharedTemporaryFolderTurnsNoCheckOff)
{
    const passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    QTemporaryDir root;
    for (const char* made : {"tmp", "home", "elsewhere"})
        ASSERT_TRUE(QDir().mkpath(root.filePath(made)));
    const ScopedVariable temporary("TMPDIR", root.filePath("tmp"));
    const ScopedVariable runtime("XDG_RUNTIME_DIR", {});
    const ScopedVariable cache("XDG_CACHE_HOME", root.filePath("cache"));
    const ScopedVariable home("HOME", root.filePath("home"));
    const QString noSessions = root.filePath("no-sessions");
    const QString planted = root.filePath("tmp/runtime-") + QFile::decodeName(user->pw_name);
    const QByteArray encoded = QFile::encodeName(planted);

    struct Case {
        const char* what;
        std::function<bool()> plant;
    };
    std::vector<Case> cases = {
        {"a link to a folder", [&] { return QFile::link(root.filePath("elsewhere"), planted); }},
        {"a file", [&] { return writeFile(planted, "planted"); }},
    };
    if (::geteuid() == 0)
        cases.push_back({"another user's folder", [&] {
                             return ::mkdir(encoded.constData(), 0700) == 0 && ::chown(encoded.constData(), 4242, 4242) == 0;
                         }});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(planted);
        QDir().rmdir(planted);
        ASSERT_TRUE(c.plant());
        const QString directory = SingleInstanceLock::privateDirectory(noSessions);
        EXPECT_TRUE(directory.startsWith(root.filePath("cache/"))) << directory.toStdString();
        SingleInstanceLock first(directory, ":0");
        EXPECT_EQ(first.tryLock(), SingleInstanceLock::Outcome::acquired);
        EXPECT_EQ(SingleInstanceLock(SingleInstanceLock::privateDirectory(noSessions), ":0").tryLock(),
                  SingleInstanceLock::Outcome::alreadyRunning);
    }
    EXPECT_TRUE(QDir(root.filePath("elsewhere")).isEmpty());
    EXPECT_TRUE(QDir(root.filePath("home")).isEmpty());

    // The cache folder's own is taken only as a folder of the user's: a link planted under its
    // name, even to a closed folder of the user's, is never followed.
    ASSERT_TRUE(QDir(root.filePath("cache/zentharion")).removeRecursively());
    ASSERT_EQ(::chmod(QFile::encodeName(root.filePath("elsewhere")).constData(), 0700), 0);
    ASSERT_TRUE(QFile::link(root.filePath("elsewhere"), root.filePath("cache/zentharion")));
    EXPECT_EQ(SingleInstanceLock::privateDirectory(noSessions), QString());
    EXPECT_TRUE(QDir(root.filePath("elsewhere")).isEmpty());
}

// The lock's fallback in the user's cache folder takes its "zentharion" only as a folder of the
// user's own, no link, that stands there closed to others; it changes the mode of no folder it
// did not make, and makes none where it could not keep it closed (root run with another user's
// HOME). Nothing outside the test's folder is touched.
TEST(SingleInstanceLockTest, TheCacheFolderFallbackTakesOnlyAClosedFolderOfTheUsersOwn)
{
    const passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    QTemporaryDir root;
    for (const char* made : {"tmp", "elsewhere"})
        ASSERT_TRUE(QDir().mkpath(root.filePath(made)));
    const ScopedVariable temporary("TMPDIR", root.filePath("tmp"));
    const ScopedVariable runtime("XDG_RUNTIME_DIR", {});
    // Qt's own runtime folder is refused: a file stands under its name.
    ASSERT_TRUE(writeFile(root.filePath("tmp/runtime-") + QFile::decodeName(user->pw_name), "planted"));
    const QString noSessions = root.filePath("no-sessions");
    const QString theirHome = root.filePath("theirs");
    const auto folder = [](const QString& path, mode_t mode, uid_t owner = ::geteuid()) {
        const QByteArray encoded = QFile::encodeName(path);
        return QDir().mkpath(path) && ::chmod(encoded.constData(), mode) == 0
               && ::chown(encoded.constData(), owner, owner) == 0;
    };
    const auto modeOf = [](const QString& path) {
        struct stat info {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : mode_t(-1);
    };

    struct Case {
        const char* what;
        bool rootOnly;
        QString cacheHome; // XDG_CACHE_HOME; empty: $HOME/.cache in another user's home
        std::function<bool(const QString& zentharion)> prepare;
        bool taken;
        std::function<bool(const QString& zentharion)> leftAsItWas;
    };
    const QString ours = root.filePath("cache");
    const std::vector<Case> cases = {
        {"none there yet", false, ours, [](const QString&) { return true; }, true,
         [&](const QString& made) { return modeOf(made) == 0700; }},
        {"a closed folder of the user's", false, ours, [&](const QString& at) { return folder(at, 0700); }, true,
         [&](const QString& at) { return modeOf(at) == 0700; }},
        {"a folder of the user's open to others", false, ours, [&](const QString& at) { return folder(at, 0755); }, false,
         [&](const QString& at) { return modeOf(at) == 0755; }},
        {"a link to a closed folder of the user's", false, ours,
         [&](const QString& at) {
             return QDir().mkpath(ours) && folder(root.filePath("elsewhere"), 0700) && QFile::link(root.filePath("elsewhere"), at);
         },
         false, [&](const QString& at) { return QFileInfo(at).isSymLink() && QDir(root.filePath("elsewhere")).isEmpty(); }},
        {"another user's closed folder", true, ours, [&](const QString& at) { return folder(at, 0700, 4242); }, false,
         [&](const QString& at) { return QFileInfo(at).ownerId() == 4242 && modeOf(at) == 0700; }},
        {"another user's, in their home", true, {},
         [&](const QString& at) {
             return folder(theirHome, 0755, 4242) && folder(theirHome + "/.cache", 0700, 4242) && folder(at, 0700, 4242);
         },
         false,
         [&](const QString& at) { return QFileInfo(at).ownerId() == 4242 && QDir(at).isEmpty(); }},
        {"another user's home without a cache folder", true, {},
         [&](const QString&) { return folder(theirHome, 0755, 4242); }, false,
         [&](const QString&) { return QDir(theirHome).isEmpty(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.rootOnly && ::geteuid() != 0)
            continue; // only root can make another user's folders
        for (const QString& made : {ours, theirHome})
            ASSERT_TRUE(QDir(made).removeRecursively());
        const ScopedVariable home("HOME", theirHome);
        const ScopedVariable cache("XDG_CACHE_HOME", c.cacheHome);
        const QString zentharion = (c.cacheHome.isEmpty() ? theirHome + "/.cache" : c.cacheHome) + "/zentharion";
        QFile::remove(zentharion);
        ASSERT_TRUE(c.prepare(zentharion));
        const QString directory = SingleInstanceLock::privateDirectory(noSessions);
        EXPECT_EQ(directory.toStdString(), (c.taken ? zentharion : QString()).toStdString());
        EXPECT_TRUE(c.leftAsItWas(zentharion));
    }
    EXPECT_TRUE(QDir(root.filePath("elsewhere")).isEmpty());
}

} // namespace
} // namespace zen
