// Read-modify-write edits of one layout from two stores at once: two spellings of one folder
// in this process, and two processes on one folder. Every edit counts one up; none may be lost.
#include "Snapshots/SnapshotFolderLock.h"
#include "Snapshots/SnapshotStore.h"

#include "Shared/Uuid.h"
#include "Support/SnapshotFixtures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

using namespace zen;
using namespace zen::test;

namespace {

constexpr int editsPerSide = 150;
constexpr char childFolderVariable[] = "ZEN_LOCK_TEST_CHILD_FOLDER";
constexpr char childLayoutVariable[] = "ZEN_LOCK_TEST_CHILD_LAYOUT";

void countUp(const SnapshotStore& store, const QUuid& id, int times)
{
    for (int i = 0; i < times; ++i) {
        const auto edited = store.modifySnapshot(id, [](Snapshot& s) {
            s.name = QStringLiteral("count %1").arg(s.name.mid(6).toInt() + 1);
        });
        ASSERT_TRUE(edited.has_value()) << edited.error().localizedDescription().toStdString();
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

TEST(SnapshotFolderLockTest, TwoProcessesLoseNoEdit)
{
    QTemporaryDir root;
    const SnapshotStore store(root.filePath("Snapshots"));
    const QUuid id = savedCounter(store);

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
        EXPECT_FALSE(lock.holdsFileLock());
    }
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "untouched");
    EXPECT_TRUE(SnapshotFolderLock(elsewhere.path()).holdsFileLock());
}

} // namespace
