#include "Infrastructure/DiagnosticLogController.h"
#include "Infrastructure/TelemetryLogger.h"

#include "Shared/AtomicFileWriter.h"
#include "Shared/Uuid.h"
#include "Support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <future>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/stat.h>

using namespace zen;
using namespace zen::test;

namespace {

const QDateTime now = QDateTime(QDate(2024, 3, 10), QTime(9, 30, 0), Qt::UTC);

TelemetryLogEvent eventAt(const QDateTime& timestamp, const QString& name = QStringLiteral("capture.failed"))
{
    TelemetryLogEvent event;
    event.timestamp = timestamp;
    event.name = name;
    event.errorReason = QStringLiteral("reason");
    return event;
}

QByteArray lineOf(const TelemetryLogEvent& event)
{
    return encodeTelemetryLogEvent(event) + '\n';
}

// What a write did before the log was read from its end: every line decoded and re-encoded,
// then the size walk over all of them. The logger must leave exactly this file.
QByteArray referenceRewrite(const QByteArray& content, const QDateTime& cutoff, std::int64_t limit,
                            const std::optional<QByteArray>& newLine)
{
    QList<QByteArray> retained;
    for (const QByteArray& raw : TelemetryLogger::rawLines(content)) {
        if (raw.size() > limit) // stored lines over the limit are skipped unread
            continue;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        (void)utf8.decode(raw);
        if (utf8.hasError())
            continue;
        const auto event = decodeTelemetryLogEvent(raw);
        if (!event || event->timestamp < cutoff)
            continue;
        retained.append(encodeTelemetryLogEvent(*event) + '\n');
    }
    if (newLine)
        retained.append(*newLine);
    return TelemetryLogger::linesWithinSizeLimit(retained, limit).join();
}

QStringList namesIn(const QString& path)
{
    QStringList names;
    for (const auto& line : TelemetryLogger::rawLines(readFile(path)))
        names.append(decodeTelemetryLogEvent(line).value().name);
    return names;
}

class TelemetryLoggerTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    QString logPath = home.filePath("Zentharion/Logs/events.log");

    TelemetryLogger logger(std::int64_t maximumFileSize = TelemetryLogger::defaultMaximumFileSize,
                           TelemetryLogger::AtomicWriter writer = {}) const
    {
        return TelemetryLogger(logPath, TelemetryLogger::defaultRetentionPeriod, maximumFileSize,
                               [] { return now; }, std::move(writer));
    }
    void seed(const QByteArray& bytes)
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(logPath).absolutePath()));
        writeFile(logPath, bytes);
    }
};

} // namespace

TEST_F(TelemetryLoggerTest, FirstEntryCreatesTheFolderAndExactlyOneLine)
{
    const auto event = eventAt(now, "capture.completed");
    logger().log(event);
    EXPECT_EQ(readFile(logPath), lineOf(event));
    // Nothing is left behind by the atomic replacement.
    EXPECT_EQ(QDir(QFileInfo(logPath).absolutePath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"events.log"});

    logger().log(eventAt(now, "restore.failed"));
    EXPECT_EQ(namesIn(logPath), (QStringList{"capture.completed", "restore.failed"}));
}

TEST_F(TelemetryLoggerTest, RetentionKeepsAnEntryExactlyAtTheCutOffAndDropsOneSecondOlder)
{
    const QDateTime cutoff = now.addSecs(-604800);
    seed(lineOf(eventAt(cutoff.addSecs(-1), "old")) + lineOf(eventAt(cutoff, "boundary")));
    logger().log(eventAt(now, "new"));
    EXPECT_EQ(namesIn(logPath), (QStringList{"boundary", "new"}));

    // Maintenance applies the same cut-off; a file of expired entries becomes empty, not absent.
    seed(lineOf(eventAt(cutoff.addSecs(-1))) + lineOf(eventAt(cutoff.addDays(-3))));
    logger().performMaintenance();
    EXPECT_TRUE(QFileInfo::exists(logPath));
    EXPECT_EQ(readFile(logPath), QByteArray());
}

TEST_F(TelemetryLoggerTest, MaintenanceOnAMissingFileCreatesNothing)
{
    logger().performMaintenance();
    EXPECT_FALSE(QFileInfo::exists(logPath));
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(logPath).absolutePath()));
}

TEST_F(TelemetryLoggerTest, MaintenanceRemovesOnlyStaleTemporaryFilesOfTheLog)
{
    const QString folder = QFileInfo(logPath).absolutePath();
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString stale = ".events.log." + uuidText(QUuid::createUuid()) + ".tmp";
    const QString fresh = ".events.log." + uuidText(QUuid::createUuid()) + ".tmp";
    const QString otherLog = ".other.log." + uuidText(QUuid::createUuid()) + ".tmp";
    const QString notAnId = QStringLiteral(".events.log.backup.tmp");
    const QDateTime old = now.addSecs(-TelemetryLogger::staleTemporaryFileAgeSeconds - 1);
    for (const QString& name : {stale, fresh, otherLog, notAnId}) {
        writeFile(QDir(folder).filePath(name), "partial");
        setModified(QDir(folder).filePath(name), name == fresh ? now.addSecs(-60) : old);
    }

    // Also with no log file at all (a crash during the very first write), and without creating one.
    logger().performMaintenance();
    EXPECT_FALSE(QFileInfo::exists(logPath));
    QStringList expected{fresh, otherLog, notAnId};
    expected.sort();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
}

TEST_F(TelemetryLoggerTest, AnOversizeNewLineIsDroppedAndALineOfExactlyTheLimitIsWritten)
{
    const auto existing = eventAt(now, "existing");
    seed(lineOf(existing));
    auto big = eventAt(now, "big");
    const qsizetype size = lineOf(big).size();

    logger(size - 1).log(big);
    EXPECT_EQ(readFile(logPath), lineOf(existing));

    // Exactly the limit: written, and the older entry makes way for it.
    logger(size).log(big);
    EXPECT_EQ(readFile(logPath), lineOf(big));
}

TEST_F(TelemetryLoggerTest, OlderEntriesMakeWayFromTheOldestEndWhenTheLimitIsReached)
{
    const QByteArray a = lineOf(eventAt(now, "a")), b = lineOf(eventAt(now, "b")), c = lineOf(eventAt(now, "c"));
    seed(a + b + c);
    const auto d = eventAt(now, "d");
    // The limit equals the existing file: one old line has to go for the new one.
    logger(a.size() + b.size() + c.size()).log(d);
    EXPECT_EQ(namesIn(logPath), (QStringList{"b", "c", "d"}));
}

TEST_F(TelemetryLoggerTest, SizeWalkSkipsOversizeLinesAndStopsAtTheFirstOverflow)
{
    using L = QList<QByteArray>;
    const QByteArray small(10, 's'), medium(30, 'm'), huge(200, 'h');
    // A stored line longer than the limit (from a larger limit) is skipped; older lines that
    // fit are still kept.
    EXPECT_EQ(TelemetryLogger::linesWithinSizeLimit(L{small, huge, medium}, 100), (L{small, medium}));
    // The walk from the newest line ends at the first line that does not fit, even though an
    // older, shorter line would.
    EXPECT_EQ(TelemetryLogger::linesWithinSizeLimit(L{small, medium, medium, medium}, 70), (L{medium, medium}));
    EXPECT_EQ(TelemetryLogger::linesWithinSizeLimit(L{small, medium}, 40), (L{small, medium}));
    EXPECT_EQ(TelemetryLogger::linesWithinSizeLimit(L{huge}, 100), L{});
    EXPECT_EQ(TelemetryLogger::linesWithinSizeLimit(L{}, 100), L{});

    // The same through a write: the oversize stored entry disappears, the others stay.
    const QByteArray older = lineOf(eventAt(now, "older"));
    auto wide = eventAt(now, "wide");
    wide.errorReason = QString(500, u'x');
    seed(older + lineOf(wide));
    logger(older.size() * 3).log(eventAt(now, "new"));
    EXPECT_EQ(namesIn(logPath), (QStringList{"older", "new"}));
}

TEST_F(TelemetryLoggerTest, SplittingIgnoresBlankLinesAndKeepsCarriageReturnsWithTheirLine)
{
    using L = QList<QByteArray>;
    EXPECT_EQ(TelemetryLogger::rawLines("a\n\n\nb"), (L{"a", "b"}));
    EXPECT_EQ(TelemetryLogger::rawLines("\n\na\n"), (L{"a"}));
    EXPECT_EQ(TelemetryLogger::rawLines("a\r\nb\r\n"), (L{"a\r", "b\r"}));
    EXPECT_EQ(TelemetryLogger::rawLines("a\rb"), (L{"a\rb"}));
    EXPECT_EQ(TelemetryLogger::rawLines(""), L{});

    // A file edited into CR LF line ends, with blank lines and no final line feed, still
    // yields every entry, and the rewritten file ends with one line feed per entry.
    const auto a = eventAt(now, "a"), b = eventAt(now, "b");
    seed(encodeTelemetryLogEvent(a) + "\r\n\r\n\n" + encodeTelemetryLogEvent(b));
    logger().performMaintenance();
    EXPECT_EQ(readFile(logPath), lineOf(a) + lineOf(b));
}

TEST_F(TelemetryLoggerTest, ACorruptLineIsDroppedAloneAndTheEntriesAroundItSurvive)
{
    const QByteArray first = lineOf(eventAt(now, "first")), last = lineOf(eventAt(now, "last"));
    QByteArray invalidUtf8 = encodeTelemetryLogEvent(eventAt(now, "broken"));
    invalidUtf8.replace("reason", "rea\xff\xfeon");
    const QByteArray missingDetails = R"({"id":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","timestamp":"2024-03-10T09:30:00Z","name":"x"})";
    const QByteArray truncated = lineOf(eventAt(now, "cut")).left(40);
    const QByteArray tenMiB = "{\"junk\":\"" + QByteArray(10 * 1024 * 1024, 'j') + "\"}";
    const QByteArray deep = QByteArray(5000, '[') + QByteArray(5000, ']');

    seed(first + invalidUtf8 + "\n" + missingDetails + "\nnot json\n" + truncated + "\n" + tenMiB + "\n"
         + deep + "\n" + QByteArray("\0\0\0", 3) + "\n" + last);
    logger().log(eventAt(now, "new"));
    EXPECT_EQ(namesIn(logPath), (QStringList{"first", "last", "new"}));
}

TEST_F(TelemetryLoggerTest, UnknownKeysAreRemovedWhenALineIsRewritten)
{
    const auto event = eventAt(now);
    QByteArray line = encodeTelemetryLogEvent(event);
    line.insert(1, "\"zzz\":1,\"capturedWindowCount\":null,");
    seed(line + "\n");
    logger().performMaintenance();
    EXPECT_EQ(readFile(logPath), lineOf(event));
}

TEST_F(TelemetryLoggerTest, AnUnreadableLogBlocksWritingWithoutTouchingIt)
{
    // A folder where the file should be.
    ASSERT_TRUE(QDir().mkpath(logPath));
    logger().log(eventAt(now));
    logger().performMaintenance();
    EXPECT_TRUE(QFileInfo(logPath).isDir());
    ASSERT_TRUE(QDir().rmdir(logPath));

    // A named pipe: refused without blocking on it.
    ASSERT_EQ(::mkfifo(QFile::encodeName(logPath).constData(), 0600), 0);
    logger().log(eventAt(now));
    EXPECT_FALSE(QFileInfo(logPath).isFile());
    QFile::remove(logPath);

    // A link, even to a valid log: treated as unreadable, neither followed nor replaced.
    const QString elsewhere = home.filePath("elsewhere.log");
    const QByteArray elsewhereContent = lineOf(eventAt(now, "elsewhere"));
    writeFile(elsewhere, elsewhereContent);
    ASSERT_TRUE(QFile::link(elsewhere, logPath));
    logger().log(eventAt(now));
    logger().performMaintenance();
    EXPECT_TRUE(QFileInfo(logPath).isSymLink());
    EXPECT_EQ(readFile(elsewhere), elsewhereContent);
}

TEST_F(TelemetryLoggerTest, AFailingWriterLeavesThePreviousFileWhole)
{
    const QByteArray before = lineOf(eventAt(now, "kept"));
    seed(before);
    int calls = 0;
    auto failing = logger(TelemetryLogger::defaultMaximumFileSize, [&](const QByteArray&, const QString&) {
        ++calls;
        return std::expected<void, PlatformError>(std::unexpected(PlatformError{"disk full", 28}));
    });
    failing.log(eventAt(now));
    failing.performMaintenance();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(readFile(logPath), before);
}

// A clear on the main thread while a capture thread is between reading and writing the file:
// the write must not bring the cleared entries back. The writer hook starts the clear in the
// middle of the write and gives it ample time to run; it can only finish after the write.
TEST_F(TelemetryLoggerTest, AClearDuringAWriteWaitsAndTheClearedEntriesStayGone)
{
    seed(lineOf(eventAt(now, "before clear")));
    DiagnosticLogController controller(logPath, [](const QString&) { return true; }, [](const QString&) { return true; });

    std::future<std::expected<void, PlatformError>> clearing;
    std::future_status statusDuringWrite = std::future_status::ready;
    bool lockHeldDuringWrite = false;
    int writes = 0;
    auto logging = logger(TelemetryLogger::defaultMaximumFileSize, [&](const QByteArray& data, const QString& url) {
        const QFileInfo target(url);
        auto write = [&] {
            return AtomicFileWriter().write(url, target.dir().filePath(".tmp-" + uuidText(QUuid::createUuid())), data);
        };
        if (++writes > 1)
            return write();
        std::shared_ptr<std::mutex> lock = telemetryLogFileLock(logPath);
        lockHeldDuringWrite = !std::async(std::launch::async, [&] {
                                   if (!lock->try_lock())
                                       return false;
                                   lock->unlock();
                                   return true;
                               }).get();
        clearing = std::async(std::launch::async, [&] { return controller.clear(); });
        statusDuringWrite = clearing.wait_for(std::chrono::milliseconds(200));
        return write();
    });

    logging.log(eventAt(now, "during clear"));
    ASSERT_TRUE(clearing.valid());
    EXPECT_TRUE(clearing.get().has_value());
    EXPECT_TRUE(lockHeldDuringWrite);
    EXPECT_EQ(statusDuringWrite, std::future_status::timeout);
    EXPECT_FALSE(QFileInfo::exists(logPath));
    EXPECT_FALSE(controller.hasLog());

    // Logging goes on afterwards with a fresh file.
    logging.log(eventAt(now, "after clear"));
    EXPECT_EQ(namesIn(logPath), QStringList{"after clear"});
}

TEST(TelemetryLogFileLock, OneLockPerFileSharedByEveryLoggerAndController)
{
    QTemporaryDir dir;
    const auto a = telemetryLogFileLock(dir.filePath("Logs/events.log"));
    EXPECT_EQ(a, telemetryLogFileLock(dir.filePath("Logs/../Logs/events.log")));
    EXPECT_EQ(a, TelemetryLogger(dir.filePath("Logs/events.log")).fileLock());
    EXPECT_NE(a, telemetryLogFileLock(dir.filePath("Other/events.log")));
}


TEST_F(TelemetryLoggerTest, TheRewrittenFileIsExactlyWhatDecodingEveryLineWouldGive)
{
    auto full = eventAt(now.addSecs(-5), "restore.completed");
    full.id = QUuid("{0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d}");
    full.snapshotID = QUuid("{ffffffff-0000-4000-8000-00000000abcd}");
    full.capturedWindowCount = 0;
    full.savedWindowCount = 999999999999999;
    full.restoredWindowCount = -3;
    full.visibleWindowCount = 1;
    full.errorReason = QStringLiteral("tab\t quote\" slash\\ nul") + QChar(0) + QStringLiteral(" \x1f \x7f caf\u00e9 \U0001F600");
    full.details = {{.kind = "displayFallback", .savedDisplayID = 4294967295u, .resolvedDisplayID = 0u},
                    {.kind = "", .bundleIdentifier = "a", .processIdentifier = -2147483647 - 1, .reason = "\r\n\b\f"}};
    const QByteArray canonical = lineOf(full);
    const QByteArray old = lineOf(eventAt(now.addDays(-8), "expired"));
    const QByteArray atCutoff = lineOf(eventAt(now.addSecs(-7 * 24 * 3600), "at cut-off"));
    auto variant = [&](const char* from, const char* to) {
        QByteArray line = canonical;
        line.replace(from, to);
        return line;
    };
    // Lines the fast path must not take as they stand; each must come out as decoding it would.
    const QList<QByteArray> foreign = {
        variant("\"name\":", "\"zzz\":[1,{\"a\":null}],\"name\":"),     // unknown key
        variant("{\"capturedWindowCount\":0,", "{\"capturedWindowCount\":0 ,"), // spacing
        variant("\"capturedWindowCount\":0", "\"capturedWindowCount\":1e2"),   // another number form
        variant("\"capturedWindowCount\":0", "\"capturedWindowCount\":-0"),
        variant("\"capturedWindowCount\":0", "\"capturedWindowCount\":0.0"),
        variant("999999999999999", "9999999999999999"),                       // beyond the fast digits
        variant("999999999999999", "99999999999999999999"),                   // beyond 64 bits: refused
        variant("0A1B2C3D", "0a1b2c3d"),                                      // lower-case id
        variant(":00Z\"", ":00+00:00\""),                                     // offset form
        variant("T09:29:55Z", "T09:29:60Z"),                                  // leap second: refused
        variant("caf\xc3\xa9", "caf\\u00e9"),                                 // needless escape
        variant("\\t", "\\u0009"),                                            // long form of a short escape
        variant("\\u001f", "\\u001F"),                                        // upper-case hex
        variant("caf\xc3\xa9", "caf\xef\xbf\xbe"),                             // noncharacter
        variant("caf\xc3\xa9", "caf\xc0\xa9"),                                 // overlong: refused
        variant("caf\xc3\xa9", "caf\xed\xa0\x80"),                             // surrogate: refused
        variant("4294967295", "4294967296"),                                  // display id out of range
        variant("\"kind\":\"displayFallback\"", "\"kind\":7"),                // mistyped kind
        variant("\"details\":[", "\"details\":[],\"details\":["),            // a key twice
        canonical.chopped(1) + "\r",                                          // CR LF line end
        canonical.left(canonical.size() / 2),                                 // cut off
        "{\"pad\":\"" + QByteArray(300, ' ') + "\"," + canonical.mid(1).chopped(1),  // longer than stored, shorter rewritten
    };
    QByteArray content = old + canonical + "\n\n" + atCutoff;
    for (const QByteArray& line : foreign)
        content += line + (line.endsWith('\n') ? "" : "\n");
    content += canonical.chopped(1); // no final line feed

    const auto newEvent = eventAt(now, "new");
    const QByteArray newLine = lineOf(newEvent);
    const QDateTime cutoff = now.addSecs(-7 * 24 * 3600);
    for (const std::int64_t limit : {std::int64_t(TelemetryLogger::defaultMaximumFileSize), std::int64_t(canonical.size() * 4),
                                     std::int64_t(canonical.size() + newLine.size()), std::int64_t(newLine.size())}) {
        SCOPED_TRACE(limit);
        seed(content);
        logger(limit).log(newEvent);
        EXPECT_EQ(readFile(logPath).toStdString(), referenceRewrite(content, cutoff, limit, newLine).toStdString());
        seed(content);
        logger(limit).performMaintenance();
        EXPECT_EQ(readFile(logPath).toStdString(), referenceRewrite(content, cutoff, limit, std::nullopt).toStdString());
    }
    // The table holds what it says: the fast reading takes the encoder's own lines and
    // declines every variant.
    EXPECT_TRUE(canonicalTelemetryLineTimestamp(canonical.chopped(1)).has_value());
    for (const QByteArray& line : foreign)
        EXPECT_FALSE(canonicalTelemetryLineTimestamp(line).has_value()) << line.constData();
}

TEST(CanonicalTelemetryLine, TakesEveryEncodedEntryWithItsTimestamp)
{
    for (const QDateTime& when : {QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC), QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59), Qt::UTC),
                                  QDateTime(QDate(2024, 2, 29), QTime(12, 0, 1), Qt::UTC), QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC)}) {
        TelemetryLogEvent event = TelemetryLogEvent::captureFailedWithReason(QStringLiteral("x"));
        event.timestamp = when;
        const auto seconds = canonicalTelemetryLineTimestamp(encodeTelemetryLogEvent(event));
        ASSERT_TRUE(seconds.has_value()) << when.toString(Qt::ISODate).toStdString();
        EXPECT_EQ(*seconds, when.toSecsSinceEpoch());
    }
    EXPECT_FALSE(canonicalTelemetryLineTimestamp("").has_value());
    EXPECT_FALSE(canonicalTelemetryLineTimestamp("{}").has_value());
}

TEST_F(TelemetryLoggerTest, AnOversizedLogIsTrimmedToItsNewestEntriesWithinBoundedMemory)
{
    // 80 MiB of expired entries, one stored line far over the limit, then a few recent ones:
    // the whole file has to be walked, but nothing beyond the limit is ever held.
    const QByteArray expired = lineOf(eventAt(now.addDays(-30), "expired"));
    QByteArray content;
    content.reserve(80 << 20);
    while (content.size() < (80 << 20))
        content += expired;
    content += QByteArray(12 << 20, 'x') + "\n";
    const QByteArray recent = lineOf(eventAt(now, "recent"));
    content += recent + recent;
    seed(content);
    content.clear();
    content.squeeze();

    // In a child process of its own, so that its peak memory is measured alone.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rusage before {}, after {};
        ::getrusage(RUSAGE_SELF, &before);
        logger().performMaintenance();
        ::getrusage(RUSAGE_SELF, &after);
        ::_exit(int(std::min<long>(255, (after.ru_maxrss - before.ru_maxrss) / 1024)));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_LT(WEXITSTATUS(status), 32) << "MiB the process grew by";
    EXPECT_EQ(readFile(logPath), recent + recent);
}

TEST_F(TelemetryLoggerTest, WritesAfterItsOwnGiveWhatReadingEveryLineWouldEvenWhenTheFileWasEdited)
{
    QDateTime clock = now;
    const std::int64_t limit = 4096;
    const TelemetryLogger writer(logPath, TelemetryLogger::defaultRetentionPeriod, limit, [&] { return clock; });
    auto logAndCompare = [&](const TelemetryLogEvent& event) {
        const QByteArray before = readFile(logPath);
        writer.log(event);
        EXPECT_EQ(readFile(logPath).toStdString(),
                  referenceRewrite(before, clock.addSecs(-7 * 24 * 3600), limit, lineOf(event)).toStdString());
    };
    for (int i = 0; i < 12; ++i) // past the limit: the oldest make way
        logAndCompare(eventAt(clock.addSecs(-i), QStringLiteral("entry %1").arg(i)));
    clock = clock.addDays(7).addSecs(-5); // some entries expire between two writes
    logAndCompare(eventAt(clock, "after a week"));

    // The same size, other bytes: the file is read line by line again.
    QByteArray edited = readFile(logPath);
    edited.replace("after a week", "AFTER A WEEK");
    writeFile(logPath, edited);
    logAndCompare(eventAt(clock, "after the edit"));
    EXPECT_TRUE(readFile(logPath).contains("AFTER A WEEK"));
}
