#include "Snapshots/SnapshotStore.h"

#include "Shared/Uuid.h"
#include "Snapshots/SnapshotCoding.h"
#include "Support/SnapshotFixtures.h"
#include "Support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <sys/stat.h>

using namespace zen;
using namespace zen::test;
using Kind = SnapshotStoreError::Kind;

namespace {

class SnapshotStoreTest : public ::testing::Test {
protected:
    QTemporaryDir root;
    QString folder = root.filePath("Snapshots");
    SnapshotStore store{folder, [] { return fixedDate(30); }};

    QString path(const QString& name) const { return QDir(folder).filePath(name); }
    QStringList entries() const { return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name); }

    void writeRaw(const QString& name, const QByteArray& bytes)
    {
        QDir().mkpath(folder);
        writeFile(path(name), bytes);
    }
    QByteArray readRaw(const QString& name) const { return readFile(path(name)); }
    Snapshot saved(const QString& name, std::vector<WindowRecord> windows = {makeWindow("org.example.Editor", 1, 1)})
    {
        Snapshot s = makeSnapshot(name, std::move(windows));
        EXPECT_TRUE(store.save(s).has_value());
        return s;
    }
    static QByteArray document(const Snapshot& s) { return encodeSnapshotDocument(s).value(); }
};

} // namespace

TEST_F(SnapshotStoreTest, ListingCreatesTheFolderAndKeepsOnlyReadableLayoutFiles)
{
    EXPECT_TRUE(store.listSummaries().value().empty());
    EXPECT_TRUE(QFileInfo(folder).isDir());

    const Snapshot valid = saved("Valid");
    const Snapshot other = makeSnapshot("Other");
    writeRaw("notes.txt", "hello");
    writeRaw(uuidText(other.id) + ".JSON", document(other));
    writeRaw("layout.json", document(other));
    writeRaw(uuidText(QUuid::createUuid()) + "-" + uuidText(QUuid::createUuid()) + ".tmp", "partial");

    Snapshot wrongVersion = makeSnapshot("V2");
    wrongVersion.schemaVersion = 2;
    writeRaw(uuidText(wrongVersion.id) + ".json", document(wrongVersion));
    const Snapshot inner = makeSnapshot("B");
    const QUuid outerID = QUuid::createUuid();
    writeRaw(uuidText(outerID) + ".json", document(inner));
    const QUuid brokenID = QUuid::createUuid();
    writeRaw(uuidText(brokenID) + ".json", "{ not json");

    const auto list = store.listSummaries().value();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].id, valid.id);

    const auto v2 = store.loadSnapshot(wrongVersion.id).error();
    EXPECT_EQ(v2.kind(), Kind::unsupportedSchemaVersion);
    EXPECT_EQ(v2.localizedDescription(), QStringLiteral("This layout uses unsupported schema version 2."));

    const auto mismatch = store.loadSnapshot(outerID).error();
    EXPECT_EQ(mismatch.kind(), Kind::snapshotIdentityMismatch);
    EXPECT_EQ(mismatch.localizedDescription(),
              QStringLiteral("Layout file ID %1 did not match expected ID %2.").arg(uuidText(inner.id), uuidText(outerID)));

    const auto broken = store.loadSnapshot(brokenID).error();
    EXPECT_EQ(broken.kind(), Kind::snapshotDecodeFailed);
    EXPECT_EQ(broken.localizedDescription(),
              QStringLiteral("Layout data at %1.json could not be read.").arg(uuidText(brokenID)));
    EXPECT_TRUE(broken.underlying().has_value());
}

TEST_F(SnapshotStoreTest, PipesFoldersAndHugeFilesAreSkippedWithoutHangingOrReadingThem)
{
    const Snapshot valid = saved("Valid");
    const QUuid pipeID = QUuid::createUuid();
    const QUuid folderID = QUuid::createUuid();
    const QUuid hugeID = QUuid::createUuid();
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(uuidText(pipeID) + ".json")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(folder).mkdir(uuidText(folderID) + ".json"));
    makeSparseFile(path(uuidText(hugeID) + ".json"), qint64(2) << 30);

    const auto list = store.listSummaries().value();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].id, valid.id);
    for (const QUuid& id : {pipeID, folderID, hugeID})
        EXPECT_EQ(store.loadSnapshot(id).error().kind(), Kind::snapshotDecodeFailed);

    // A folder in the place of a layout file is not removed with everything in it.
    EXPECT_EQ(store.deleteSnapshot(folderID).error().kind(), Kind::snapshotWriteFailed);
    EXPECT_TRUE(QFileInfo(path(uuidText(folderID) + ".json")).isDir());
}

TEST_F(SnapshotStoreTest, LinkedLayoutFilesAreUnreadableAndSavingReplacesTheLink)
{
    const Snapshot valid = saved("Valid");
    // A valid layout elsewhere, and a device, each behind a link named like a layout file.
    const Snapshot outside = makeSnapshot("Outside");
    const QString outsidePath = root.filePath("outside.json");
    writeFile(outsidePath, document(outside));
    const QUuid deviceID = QUuid::createUuid();
    ASSERT_TRUE(QFile::link(outsidePath, path(uuidText(outside.id) + ".json")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path(uuidText(deviceID) + ".json")));

    const auto list = store.listSummaries().value();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].id, valid.id);
    for (const QUuid& id : {outside.id, deviceID})
        EXPECT_EQ(store.loadSnapshot(id).error().kind(), Kind::snapshotDecodeFailed);

    // Writes replace the link itself; the file it pointed at is left alone.
    ASSERT_TRUE(store.renameSnapshot(outside.id, "Renamed").error().kind() == Kind::snapshotDecodeFailed);
    ASSERT_TRUE(store.save(outside).has_value());
    EXPECT_FALSE(QFileInfo(path(uuidText(outside.id) + ".json")).isSymLink());
    EXPECT_EQ(readFile(outsidePath), document(outside));
    EXPECT_EQ(store.loadSnapshot(outside.id).value().name, "Outside");
}

TEST_F(SnapshotStoreTest, OnlyTheUpperCaseSpellingOfAnIdNamesALayout)
{
    // A lower-case name would be listed but unreachable by id (the store always builds the
    // upper-case name), so it is not a layout file at all.
    const Snapshot s = makeSnapshot("Lower");
    const QString lowerName = uuidText(s.id).toLower() + ".json";
    writeRaw(lowerName, document(s));
    EXPECT_TRUE(store.listSummaries().value().empty());
    EXPECT_EQ(store.loadSnapshot(s.id).error().kind(), Kind::notFound);
    EXPECT_EQ(store.deleteSnapshot(s.id).error().kind(), Kind::notFound);

    ASSERT_TRUE(store.save(s).has_value());
    const auto list = store.listSummaries().value();
    ASSERT_EQ(list.size(), 1u) << "one listed layout per id";
    EXPECT_TRUE(store.renameSnapshot(s.id, "Renamed").has_value());
    EXPECT_EQ(store.listSummaries().value()[0].name, QStringLiteral("Renamed"));
    ASSERT_TRUE(store.deleteSnapshot(s.id).has_value());
    EXPECT_TRUE(store.listSummaries().value().empty());
    EXPECT_EQ(readRaw(lowerName), document(s)) << "a file that is not ours is left alone";
}

TEST_F(SnapshotStoreTest, SaveTrimsTheNameStampsTheVersionAndReplacesAtomically)
{
    Snapshot s = makeSnapshot("  Work  \n");
    s.schemaVersion = 0;
    s.updatedAt = fixedDate(3, 17);
    ASSERT_TRUE(store.save(s).has_value());
    const Snapshot back = store.loadSnapshot(s.id).value();
    EXPECT_EQ(back.name, QStringLiteral("Work"));
    EXPECT_EQ(back.schemaVersion, 1);
    EXPECT_EQ(back.updatedAt, fixedDate(3, 17));

    s.name = "Second";
    ASSERT_TRUE(store.save(s).has_value());
    EXPECT_EQ(store.loadSnapshot(s.id).value().name, QStringLiteral("Second"));
    EXPECT_EQ(entries(), QStringList{uuidText(s.id) + ".json"});

    Snapshot blank = makeSnapshot(" \t\n ");
    const auto refused = store.save(blank);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().localizedDescription(), QStringLiteral("Layout names cannot be empty."));
    EXPECT_FALSE(QFile::exists(store.fileURL(blank.id)));

    // A leftover from an interrupted save is neither listed nor removed.
    const QString leftover = uuidText(s.id) + "-" + uuidText(QUuid::createUuid()) + ".tmp";
    writeRaw(leftover, "{");
    EXPECT_EQ(store.listSummaries().value().size(), 1u);
    EXPECT_TRUE(QFile::exists(path(leftover)));
}

TEST_F(SnapshotStoreTest, AFailedSaveKeepsThePreviousFileByteForByte)
{
    const Snapshot s = saved("Original");
    const QByteArray before = readRaw(uuidText(s.id) + ".json");

    for (auto step : {AtomicFileWriter::Step::Write, AtomicFileWriter::Step::Sync, AtomicFileWriter::Step::Rename}) {
        SnapshotStore failing(folder, {}, AtomicFileWriter([step](AtomicFileWriter::Step at) -> std::optional<PlatformError> {
            return at == step ? std::optional(PlatformError::fromErrno(ENOSPC)) : std::nullopt;
        }));
        Snapshot changed = s;
        changed.name = "Changed";
        const auto result = failing.save(changed);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().localizedDescription(),
                  QStringLiteral("Layout data could not be written to %1.json.").arg(uuidText(s.id)));
        EXPECT_EQ(result.error().underlying()->code, ENOSPC);
        EXPECT_EQ(readRaw(uuidText(s.id) + ".json"), before);
        EXPECT_EQ(entries(), QStringList{uuidText(s.id) + ".json"});
    }

    // A number JSON cannot hold fails the write instead of storing null.
    Snapshot nan = s;
    nan.windows[0].frame.width = std::nan("");
    EXPECT_EQ(store.save(nan).error().kind(), Kind::snapshotWriteFailed);
    EXPECT_EQ(readRaw(uuidText(s.id) + ".json"), before);
    EXPECT_EQ(entries().size(), 1);

    // So does a date outside the years the reader accepts (it would be written as "10000-...").
    Snapshot farFuture = s;
    farFuture.updatedAt = QDateTime(QDate(10000, 1, 1), QTime(0, 0), Qt::UTC);
    EXPECT_EQ(store.save(farFuture).error().kind(), Kind::snapshotWriteFailed);
    EXPECT_EQ(readRaw(uuidText(s.id) + ".json"), before);

    // A document the listing would then refuse to read (control characters take six bytes
    // each) is not written over a readable one.
    Snapshot huge = s;
    huge.windows[0].windowTitle = QString(SnapshotStore::maximumFileSize / 6 + 1, QChar(u'\x01'));
    const auto tooLarge = store.save(huge);
    ASSERT_FALSE(tooLarge.has_value());
    EXPECT_EQ(tooLarge.error().kind(), Kind::snapshotWriteFailed);
    EXPECT_EQ(tooLarge.error().underlying()->code, EFBIG);
    EXPECT_EQ(readRaw(uuidText(s.id) + ".json"), before);
    EXPECT_EQ(entries().size(), 1);
}

TEST_F(SnapshotStoreTest, StaleTemporaryFilesOfOurOwnGoAndEverythingElseStays)
{
    EXPECT_EQ(store.removeStaleTemporaryFiles(), 0); // no folder yet
    const Snapshot layout = saved("Layout");
    const QString ours = uuidText(layout.id) + "-" + uuidText(QUuid::createUuid()) + ".tmp";
    const QString fresh = uuidText(layout.id) + "-" + uuidText(QUuid::createUuid()) + ".tmp";
    const QString lowerCase = (uuidText(layout.id) + "-" + uuidText(QUuid::createUuid())).toLower() + ".tmp";
    const QString folderNamedLikeOurs = uuidText(layout.id) + "-" + uuidText(QUuid::createUuid()) + ".tmp";
    const QString linkNamedLikeOurs = uuidText(layout.id) + "-" + uuidText(QUuid::createUuid()) + ".tmp";
    for (const QString& name : {ours, fresh, lowerCase, QStringLiteral("notes.tmp")})
        writeRaw(name, "partial");
    ASSERT_TRUE(QDir(folder).mkdir(folderNamedLikeOurs));
    ASSERT_TRUE(QFile::link(path("notes.tmp"), path(linkNamedLikeOurs)));

    // The store's clock reads fixedDate(30); "fresh" was written a minute before, the rest long before.
    const QDateTime old = fixedDate(30).addSecs(-SnapshotStore::staleTemporaryFileAgeSeconds - 1);
    for (const QString& name : {ours, lowerCase, QStringLiteral("notes.tmp"), folderNamedLikeOurs, linkNamedLikeOurs,
                                uuidText(layout.id) + ".json"})
        setModified(path(name), old);
    setModified(path(fresh), fixedDate(30).addSecs(-60));

    EXPECT_EQ(store.removeStaleTemporaryFiles(), 1);
    EXPECT_FALSE(QFileInfo::exists(path(ours)));
    for (const QString& name : {fresh, lowerCase, QStringLiteral("notes.tmp"), folderNamedLikeOurs, uuidText(layout.id) + ".json"})
        EXPECT_TRUE(QFileInfo::exists(path(name))) << name.toStdString();
    EXPECT_TRUE(QFileInfo(path(linkNamedLikeOurs)).isSymLink());
    EXPECT_TRUE(store.loadSnapshot(layout.id).has_value());
}

TEST_F(SnapshotStoreTest, ListsNewestFirstWithCounts)
{
    Snapshot older = makeSnapshot("Older");
    older.updatedAt = fixedDate(1);
    Snapshot newer = makeSnapshot("Newer");
    newer.updatedAt = fixedDate(2);
    Snapshot tieLaterCreated = makeSnapshot("Tie");
    tieLaterCreated.updatedAt = fixedDate(1);
    tieLaterCreated.createdAt = fixedDate(0, 60);

    WindowRecord onFive = makeWindow("org.a", 5);
    WindowRecord alsoFive = makeWindow("org.b", 5);
    WindowRecord nowhere = makeWindow("org.a");
    WindowRecord unsavedDisplay = makeWindow("org.c", 9);
    newer.windows = {onFive, alsoFive, nowhere, unsavedDisplay};
    newer.sourceDisplayState = DisplayState::make(
        {makeDisplay(5, CGRect(0, 0, 100, 100)), makeDisplay(7, CGRect(100, 0, 100, 100))}, 5);
    newer.hotkey = HotkeyBinding{1, 0x100, "Cmd-S"};
    for (const Snapshot& s : {older, newer, tieLaterCreated})
        ASSERT_TRUE(store.save(s).has_value());

    const auto list = store.listSummaries().value();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, QStringLiteral("Newer"));
    EXPECT_EQ(list[1].name, QStringLiteral("Tie"));
    EXPECT_EQ(list[2].name, QStringLiteral("Older"));
    EXPECT_EQ(list[0].windowCount, 4);
    EXPECT_EQ(list[0].appCount, 3);
    EXPECT_EQ(list[0].displayCount, 1);
    EXPECT_EQ(list[0].hotkey, newer.hotkey);
}

TEST_F(SnapshotStoreTest, DeleteRemovesOnlyTheLayoutFile)
{
    const Snapshot keep = saved("Keep");
    const Snapshot gone = saved("Gone");
    ASSERT_TRUE(store.deleteSnapshot(gone.id).has_value());
    EXPECT_EQ(entries(), QStringList{uuidText(keep.id) + ".json"});
    const auto missing = store.deleteSnapshot(gone.id).error();
    EXPECT_EQ(missing.localizedDescription(), QStringLiteral("The layout %1 could not be found.").arg(uuidText(gone.id)));
    EXPECT_EQ(store.loadSnapshot(gone.id).error(), missing);
}

TEST_F(SnapshotStoreTest, AnUnusableFolderIsReportedAsStorageFailure)
{
    QFile blocker(root.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const SnapshotStore blocked(root.filePath("file/Snapshots"));
    const auto error = blocked.listSummaries().error();
    EXPECT_EQ(error.kind(), Kind::directoryReadFailed);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("Layout storage could not be accessed."));
    EXPECT_EQ(blocked.save(makeSnapshot("x")).error().kind(), Kind::directoryReadFailed);
    EXPECT_EQ(blocked.loadSnapshot(QUuid::createUuid()).error().kind(), Kind::directoryReadFailed);
}
