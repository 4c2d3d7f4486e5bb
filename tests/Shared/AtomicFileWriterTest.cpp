#include "Shared/AtomicFileWriter.h"

#include "Support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace zen;

using namespace zen::test;

TEST(AtomicFileWriterTest, CreatesAndReplacesWithoutLeavingTheTemporaryFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("a.json");
    const QString temp = dir.filePath("a-1.tmp");
    ASSERT_TRUE(AtomicFileWriter().write(target, temp, "first").has_value());
    ASSERT_TRUE(AtomicFileWriter().write(target, dir.filePath("a-2.tmp"), "second").has_value());
    EXPECT_EQ(readFile(target), "second");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.json"});
}

TEST(AtomicFileWriterTest, AFailureAtAnyStepKeepsTheOldFileAndRemovesTheTemporaryOne)
{
    using Step = AtomicFileWriter::Step;
    for (Step failing : {Step::Create, Step::Write, Step::Sync, Step::Rename}) {
        QTemporaryDir dir;
        const QString target = dir.filePath("a.json");
        writeFile(target, "old contents");
        AtomicFileWriter writer([failing](Step step) -> std::optional<PlatformError> {
            if (step == failing)
                return PlatformError::fromErrno(ENOSPC);
            return std::nullopt;
        });
        const auto result = writer.write(target, dir.filePath("a-x.tmp"), "new contents");
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().code, ENOSPC);
        EXPECT_EQ(readFile(target), "old contents");
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.json"}) << int(failing);
    }
}

TEST(AtomicFileWriterTest, AReadOnlyFolderFailsCleanly)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    QTemporaryDir dir;
    const QString target = dir.filePath("a.json");
    writeFile(target, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0500), 0);
    const auto result = AtomicFileWriter().write(target, dir.filePath("a-x.tmp"), "new");
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, EACCES);
    EXPECT_EQ(readFile(target), "old");
}

TEST(ReadRegularFileTest, RefusesPipesFoldersAndOversizedFilesWithoutBlocking)
{
    QTemporaryDir dir;
    const QString small = dir.filePath("small");
    writeFile(small, "12345");
    EXPECT_EQ(readRegularFile(small, 5).value(), "12345");
    EXPECT_FALSE(readRegularFile(small, 4).has_value());

    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(readRegularFile(fifo, 1024).has_value());

    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    EXPECT_FALSE(readRegularFile(dir.filePath("folder"), 1024).has_value());

    // A sparse 2 GiB file costs no disk space; it must be refused before any reading.
    const QString huge = dir.filePath("huge");
    makeSparseFile(huge, qint64(2) << 30);
    const auto result = readRegularFile(huge, 16 << 20);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, EFBIG);

    EXPECT_EQ(readRegularFile(dir.filePath("absent"), 10).error().code, ENOENT);
}

TEST(ReadRegularFileTest, RefusesSymbolicLinksWhateverTheyPointAt)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("target");
    writeFile(target, "secret");
    struct Case {
        const char* name;
        QString pointsAt;
    };
    for (const Case& c : {Case {"to a regular file", target}, Case {"to a device", QStringLiteral("/dev/zero")},
                          Case {"dangling", dir.filePath("absent")}, Case {"to a folder", dir.path()}}) {
        SCOPED_TRACE(c.name);
        const QString link = dir.filePath(QStringLiteral("link-%1").arg(QString::fromLatin1(c.name).replace(' ', '-')));
        ASSERT_EQ(::symlink(QFile::encodeName(c.pointsAt).constData(), QFile::encodeName(link).constData()), 0);
        const auto read = readRegularFile(link, 1 << 20);
        ASSERT_FALSE(read.has_value());
        EXPECT_EQ(read.error().code, ELOOP);
        EXPECT_FALSE(isRegularFileNotLink(link));
    }
    EXPECT_TRUE(isRegularFileNotLink(target));
    // A device named directly is refused before it is opened.
    EXPECT_EQ(readRegularFile(QStringLiteral("/dev/zero"), 1 << 20).error().code, EINVAL);
}
