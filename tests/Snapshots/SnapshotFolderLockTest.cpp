// Read-modify-write edits of one layout from two stores at once: two spellings of one folder
// in this process, and two processes on one folder. Every edit counts one up; none may be lost.
#include "Snapshots/SnapshotFolderLock.h"
#include "Snapshots/SnapshotStore.h"

#include "Shared/Uuid.h"
#include "Support/SnapshotFixtures.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <optional>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zen;
using namespace zen::test;

namespace {

constexpr int editsPerSide = 150;
constexpr char childFolderVariable[] = "ZEN_LOCK_TEST_CHILD_FOLDER";
constexpr char childLayoutVariable[] = "ZEN_LOCK_TEST_CHILD_LAYOUT";

// An edit on the main thread waits a second for the lock, then answers busy having changed
// nothing; on a loaded machine the other side's write may take that long. A busy edit is
// tried again, and the count shows that it changed nothing: it must end at exactly the edits
// that succeeded. Only a lock that is never let go fails here, at the sixtieth busy answer.
void countUp(const SnapshotStore& store, const QUuid& id, int times)
{
    int busy = 0;
    for (int done = 0; done < times;) {
        const auto edited = store.modifySnapshot(id, [](Snapshot& s) {
            s.name = QStringLiteral("count %1").arg(s.name.mid(6).toInt() + 1);
        });
        if (edited) {
            ++done;
            continue;
        }
        ASSERT_EQ(edited.error().kind(), SnapshotStoreError::Kind::storeBusy) << edited.error().localizedDescription().toStdString();
        ASSERT_LT(++busy, 60) << "the other side never let go of the lock";
    }
}

int countOf(const SnapshotStore& store, const QUuid& id)
{
    return store.loadSnapshot(id).value().name.mid(6).toInt();
}

QUuid savedCounter(const SnapshotStore& store)
{
    const Snapshot s = makeSnapshot("count 0", {makeWindow("org.example.Editor", 1, 1)});
    EXPECT_TRUE(store.save(s).has_value());
    return s.id;
}

TEST(SnapshotFolderLockTest, TwoSpellingsOfOneFolderLoseNoEdit)
{
    QTemporaryDir root;
    const QString real = root.filePath("Snapshots");
    const QString alias = root.filePath("Alias");
    ASSERT_TRUE(QDir().mkpath(real));
    ASSERT_TRUE(QFile::link(real, alias));
    const SnapshotStore first(real), second(alias + "/./");
    const QUuid id = savedCounter(first);

    std::thread other([&] { countUp(second, id, editsPerSide); });
    countUp(first, id, editsPerSide);
    other.join();
    EXPECT_EQ(countOf(first, id), 2 * editsPerSide);
}

// Counts up from this process and from another at once; every edit must count.
void countUpFromTwoProcesses(const SnapshotStore& store, const QUuid& id)
{
    // The other process is this test binary again, running only the child's half below.
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(childFolderVariable, store.snapshotsDirectory());
    environment.insert(childLayoutVariable, uuidText(id));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=SnapshotFolderLockTest.EditsAsTheOtherProcess")});
    ASSERT_TRUE(child.waitForStarted());
    countUp(store, id, editsPerSide);
    ASSERT_TRUE(child.waitForFinished(120000));
    EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().toStdString();
    EXPECT_EQ(countOf(store, id), 2 * editsPerSide);
}

TEST(SnapshotFolderLockTest, TwoProcessesLoseNoEdit)
{
    QTemporaryDir root;
    const SnapshotStore store(root.filePath("Snapshots"));
    countUpFromTwoProcesses(store, savedCounter(store));
}

// A link, a pipe or an empty folder planted under the lock file's name is replaced by a lock
// file of the store's own: it turns the lock off for neither process, and nothing it points
// to is touched.
TEST(SnapshotFolderLockTest, APlantedEntryAtTheLockFileTurnsNoLockOff)
{
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath("victim");
    {
        QFile f(victim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("untouched");
    }
    struct Case {
        const char* what;
        std::function<bool(const QString&)> plant;
    };
    const Case cases[] = {
        {"a link", [&](const QString& at) { return QFile::link(victim, at); }},
        {"a named pipe", [](const QString& at) { return ::mkfifo(QFile::encodeName(at).constData(), 0600) == 0; }},
        {"an empty folder", [](const QString& at) { return QDir().mkdir(at); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir root;
        const SnapshotStore store(root.filePath("Snapshots"));
        const QUuid id = savedCounter(store);
        const QString lockFile = QDir(store.snapshotsDirectory()).filePath(SnapshotFolderLock::lockFileName);
        QFile::remove(lockFile);
        ASSERT_TRUE(c.plant(lockFile));
        countUpFromTwoProcesses(store, id);
        EXPECT_TRUE(QFileInfo(lockFile).isFile() && !QFileInfo(lockFile).isSymLink());
    }
    QFile f(victim);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "untouched");
}

// A holder that never lets go (a stopped process, a frozen network folder) costs a change the
// lock's wait, then a "busy" answer; nothing is changed, and once it lets go all works again.
TEST(SnapshotFolderLockTest, AHeldLockGivesABusyAnswerAfterABoundedWait)
{
    if (!QFileInfo::exists("/usr/bin/flock"))
        GTEST_SKIP() << "flock(1) is not installed";
    QTemporaryDir root;
    const SnapshotStore store(root.filePath("Snapshots"));
    const QUuid id = savedCounter(store);
    QProcess holder;
    // The shell becomes the sleep that holds the lock: killing it lets go.
    holder.start("sh", {"-c", "exec 9>>\"$0\" && flock 9 && echo held && exec sleep 30",
                        QDir(store.snapshotsDirectory()).filePath(SnapshotFolderLock::lockFileName)});
    ASSERT_TRUE(holder.waitForStarted());
    QByteArray said;
    while (!said.contains("held") && holder.waitForReadyRead(30000))
        said += holder.readAllStandardOutput();
    ASSERT_TRUE(said.contains("held"));

    QElapsedTimer waited;
    waited.start();
    const auto renamed = store.renameSnapshot(id, "Renamed");
    ASSERT_FALSE(renamed.has_value());
    EXPECT_EQ(renamed.error().kind(), SnapshotStoreError::Kind::storeBusy);
    EXPECT_TRUE(renamed.error().localizedDescription().startsWith("The layouts are busy"));
    // Generous: a loaded machine may stretch the wait, but never to the holder's half minute.
    EXPECT_LT(waited.elapsed(), 15000);
    EXPECT_EQ(store.deleteSnapshot(id).error().kind(), SnapshotStoreError::Kind::storeBusy);
    EXPECT_EQ(store.loadSnapshot(id).value().name, "count 0");

    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(10000));
    EXPECT_TRUE(store.renameSnapshot(id, "Renamed").has_value());
}

TEST(SnapshotFolderLockTest, EditsAsTheOtherProcess)
{
    const QString folder = qEnvironmentVariable(childFolderVariable);
    if (folder.isEmpty())
        GTEST_SKIP() << "runs only as the other process of TwoProcessesLoseNoEdit";
    const SnapshotStore store(folder);
    countUp(store, *parseUuidStrict(qEnvironmentVariable(childLayoutVariable)), editsPerSide);
}

TEST(SnapshotFolderLockTest, APlantedLinkAtTheLockFileIsNeverFollowed)
{
    QTemporaryDir root, elsewhere;
    const QString target = elsewhere.filePath("victim");
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("untouched");
    }
    ASSERT_TRUE(QFile::link(target, root.filePath(SnapshotFolderLock::lockFileName)));
    {
        const SnapshotFolderLock lock(root.path());
        EXPECT_TRUE(lock.holdsFileLock()) << "the link was replaced by a lock file of our own";
        EXPECT_FALSE(QFileInfo(root.filePath(SnapshotFolderLock::lockFileName)).isSymLink());
    }
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "untouched");
    EXPECT_TRUE(SnapshotFolderLock(elsewhere.path()).holdsFileLock());
}

} // namespace

namespace {

// A descriptor of the folder's lock file (or the folder itself) holding its flock: another
// open file, as another process's would be.
struct HeldByAnother {
    int fd = -1;
    explicit HeldByAnother(const QString& path, int flags = O_RDWR | O_CREAT)
        : fd(::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC, 0600))
    {
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ~HeldByAnother() { release(); }
    void release()
    {
        if (fd >= 0)
            ::close(std::exchange(fd, -1));
    }
};

int entriesIn(const char* folder)
{
    return int(QDir(QString::fromLatin1(folder)).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

QString layoutFileText(const SnapshotStore& store, const QUuid& id)
{
    QFile f(store.fileURL(id));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

// A save writes only under the folder's lock: it never replaces a layout that another process
// is in the middle of editing.
TEST(SnapshotFolderLockTest, ASaveWaitsForAnotherProcessEditingTheFolder)
{
    QTemporaryDir root;
    const SnapshotStore store(root.filePath("Snapshots"));
    const QUuid id = savedCounter(store);
    const QString before = layoutFileText(store, id);
    HeldByAnother other(QDir(store.snapshotsDirectory()).filePath(SnapshotFolderLock::lockFileName));
    ASSERT_GE(other.fd, 0);
    Snapshot replacement = store.loadSnapshot(id).value();
    replacement.name = "overwritten";
    const auto saved = store.save(replacement);
    ASSERT_FALSE(saved.has_value()) << "saved while another process held the folder";
    EXPECT_EQ(saved.error().kind(), SnapshotStoreError::Kind::storeBusy);
    EXPECT_EQ(layoutFileText(store, id), before);
    other.release();
    EXPECT_TRUE(store.save(replacement).has_value());
}

// Another process replacing a planted entry at the lock file holds the folder's own flock for
// the moment it takes: an edit meanwhile is told the layouts are busy, as for a held lock, not
// that the lock file cannot be made.
TEST(SnapshotFolderLockTest, AnEditWhileAnotherProcessReplacesAPlantedEntryIsBusy)
{
    QTemporaryDir root, elsewhere;
    const SnapshotStore store(root.filePath("Snapshots"));
    const QUuid id = savedCounter(store);
    const QString lockFile = QDir(store.snapshotsDirectory()).filePath(SnapshotFolderLock::lockFileName);
    QFile::remove(lockFile);
    ASSERT_TRUE(QFile::link(elsewhere.filePath("victim"), lockFile));
    HeldByAnother replacing(store.snapshotsDirectory(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(replacing.fd, 0);
    const auto renamed = store.renameSnapshot(id, "Renamed");
    ASSERT_FALSE(renamed.has_value());
    EXPECT_EQ(renamed.error().kind(), SnapshotStoreError::Kind::storeBusy) << renamed.error().localizedDescription().toStdString();
    replacing.release();
    EXPECT_TRUE(store.renameSnapshot(id, "Renamed").has_value());
    EXPECT_FALSE(QFileInfo(lockFile).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(elsewhere.filePath("victim")));
}

// Refused waits cost nothing once over: no thread and no descriptor is left behind for a
// holder that never lets go.
TEST(SnapshotFolderLockTest, RefusedWaitsLeaveNoThreadOrDescriptorBehind)
{
    QTemporaryDir root;
    const SnapshotStore store(root.filePath("Snapshots"));
    savedCounter(store);
    HeldByAnother other(QDir(store.snapshotsDirectory()).filePath(SnapshotFolderLock::lockFileName));
    ASSERT_GE(other.fd, 0);
    const int threads = entriesIn("/proc/self/task"), descriptors = entriesIn("/proc/self/fd");
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(SnapshotFolderLock(store.snapshotsDirectory(), std::chrono::milliseconds(2)).state(),
                  SnapshotFolderLock::State::busy);
    // Other parts of the test program may end threads of their own meanwhile, never start any.
    EXPECT_LE(entriesIn("/proc/self/task"), threads);
    EXPECT_LE(entriesIn("/proc/self/fd"), descriptors);
}

// When the program ends, a change waiting for the folder (held by another process, or by
// another thread of this one) gives up at once and writes nothing; it does not hold the ending
// up for the worker's long wait.
TEST(SnapshotFolderLockTest, AWaitAbandonedAsTheProgramEndsEndsAtOnceAndWritesNothing)
{
    for (const bool anotherProcess : {true, false}) {
        SCOPED_TRACE(anotherProcess ? "held by another process" : "held by another thread");
        QTemporaryDir root;
        const SnapshotStore store(root.filePath("Snapshots"));
        const QUuid id = savedCounter(store);
        const QString before = layoutFileText(store, id);
        HeldByAnother otherProcess(anotherProcess ? QDir(store.snapshotsDirectory()).filePath(SnapshotFolderLock::lockFileName)
                                                  : QString());
        std::optional<SnapshotFolderLock> otherThread;
        if (!anotherProcess)
            otherThread.emplace(store.snapshotsDirectory());
        ASSERT_TRUE(anotherProcess ? otherProcess.fd >= 0 : otherThread->state() == SnapshotFolderLock::State::held);

        Snapshot replacement = store.loadSnapshot(id).value();
        replacement.name = "overwritten";
        std::optional<SnapshotFolderLock::State> waited;
        auto save = std::async(std::launch::async, [&] {
            waited = SnapshotFolderLock(store.snapshotsDirectory(), SnapshotFolderLock::workerWait).state();
            return store.save(replacement);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // under way by now, or about to be
        SnapshotFolderLock::abandonWaits();
        // Generous, but far below the worker's wait.
        const bool ended = save.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        otherProcess.release();
        otherThread.reset();
        const auto saved = save.get();
        SnapshotFolderLock::abandonWaits(false);
        EXPECT_TRUE(ended) << "the wait went on after it was abandoned";
        EXPECT_EQ(waited, SnapshotFolderLock::State::abandoned);
        ASSERT_FALSE(saved.has_value());
        EXPECT_EQ(saved.error().kind(), SnapshotStoreError::Kind::storeBusy);
        EXPECT_EQ(layoutFileText(store, id), before);
        EXPECT_EQ(QDir(store.snapshotsDirectory()).entryList({"*.tmp"}, QDir::Files | QDir::Hidden), QStringList());
    }
}
