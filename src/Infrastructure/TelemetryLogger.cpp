#include "Infrastructure/TelemetryLogger.h"

#include "Shared/AtomicFileWriter.h"
#include "Shared/Directories.h"
#include "Shared/Uuid.h"

#include <QDir>
#include <QHash>
#include <QFileInfo>
#include <QStringDecoder>
#include <QUuid>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace zen {

namespace {

bool fileExists(const QString& path)
{
    // A dangling link counts as a file: it is there, only unreadable.
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// The name the default writer gives its temporary file: ".<log name>.<UPPER-UUID>.tmp".
QString temporaryFileName(const QString& logFileName, const QUuid& id)
{
    return QStringLiteral(".%1.%2.tmp").arg(logFileName, uuidText(id));
}

bool isTemporaryFileName(const QString& name, const QString& logFileName)
{
    const QString prefix = QStringLiteral(".%1.").arg(logFileName);
    const QString suffix = QStringLiteral(".tmp");
    if (!name.startsWith(prefix) || !name.endsWith(suffix))
        return false;
    const QStringView idText = QStringView(name).sliced(prefix.size(), name.size() - prefix.size() - suffix.size());
    const auto id = parseUuidStrict(idText);
    return id && uuidText(*id) == idText;
}

bool isValidUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)decoder.decode(bytes);
    return !decoder.hasError();
}

} // namespace

std::shared_ptr<std::mutex> telemetryLogFileLock(const QString& eventsLogURL)
{
    static PathLockRegistry registry;
    return registry.lockFor(eventsLogURL);
}

TelemetryLogger::TelemetryLogger(QString eventsLogURL, double retentionPeriod, std::int64_t maximumFileSize,
                                 Clock now, AtomicWriter atomicWriter)
    : m_eventsLogURL(std::move(eventsLogURL))
    , m_retentionPeriod(retentionPeriod)
    , m_maximumFileSize(maximumFileSize)
    , m_now(now ? std::move(now) : Clock([] { return QDateTime::currentDateTimeUtc(); }))
    , m_atomicWriter(std::move(atomicWriter))
    , m_fileLock(telemetryLogFileLock(m_eventsLogURL))
{
    if (!m_atomicWriter)
        m_atomicWriter = [](const QByteArray& data, const QString& url) {
            const QFileInfo target(url);
            const QString temporary = target.dir().filePath(temporaryFileName(target.fileName(), QUuid::createUuid()));
            return AtomicFileWriter().write(url, temporary, data);
        };
}

void TelemetryLogger::log(const TelemetryLogEvent& event) const
{
    if (!createDirectories(QFileInfo(m_eventsLogURL).absolutePath()))
        return;
    QByteArray line = encodeTelemetryLogEvent(event);
    if (line.isEmpty())
        return;
    line.append('\n');
    // A line of exactly the limit still fits.
    if (line.size() > m_maximumFileSize)
        return;

    std::lock_guard guard(*m_fileLock);
    auto lines = retainedLinesNewestFirst(line.size());
    if (!lines)
        return;
    writeNewestFirst(*lines, line);
}

void TelemetryLogger::performMaintenance() const
{
    std::lock_guard guard(*m_fileLock);
    const QFileInfo log(m_eventsLogURL);
    removeStaleFiles(log.absolutePath(),
                     [logName = log.fileName()](const QString& name) { return isTemporaryFileName(name, logName); },
                     m_now().addSecs(-staleTemporaryFileAgeSeconds));
    if (!fileExists(m_eventsLogURL))
        return;
    const auto lines = retainedLinesNewestFirst(0);
    if (!lines)
        return;
    writeNewestFirst(*lines, QByteArray());
}

namespace {

// Calls `onLine` with each non-empty line of the file, newest (last) first, without its line
// feed, reading blocks from the end of the file, until it returns false or the file's start
// is reached. A line longer than `maximumLineLength` is passed as empty (`tooLong` set)
// rather than gathered, so that memory stays bounded by the block and that length whatever
// the file holds.
std::expected<void, PlatformError> forEachLineFromTheEnd(
    const RegularFileReader& file, qint64 maximumLineLength,
    const std::function<bool(QByteArrayView line, bool tooLong)>& onLine)
{
    constexpr qint64 blockSize = 1 << 20;
    // One buffer for every block: memory that is freed is not always given back at once.
    QByteArray block(qsizetype(std::min(blockSize, file.size())), Qt::Uninitialized);
    QByteArray carry; // the end of a line whose start lies in a block not read yet
    bool carryTooLong = false;
    qint64 blockEnd = file.size();
    auto addToCarry = [&](QByteArrayView piece) {
        if (carryTooLong)
            return;
        if (carry.size() + piece.size() > maximumLineLength) {
            carryTooLong = true;
            carry.truncate(0);
            return;
        }
        carry.prepend(piece.data(), piece.size());
    };
    auto finishLine = [&](QByteArrayView start) {
        bool keepGoing = true;
        if (carry.isEmpty() && !carryTooLong) {
            // The whole line lies in this block: no copy.
            if (!start.isEmpty())
                keepGoing = start.size() > maximumLineLength ? onLine({}, true) : onLine(start, false);
        } else {
            addToCarry(start);
            keepGoing = onLine(carryTooLong ? QByteArrayView() : QByteArrayView(carry), carryTooLong);
        }
        carry.truncate(0); // keeps its buffer for the next line that spans two blocks
        carryTooLong = false;
        return keepGoing;
    };
    while (blockEnd > 0) {
        const qint64 blockStart = std::max<qint64>(0, blockEnd - blockSize);
        const auto read = file.readAt(blockStart, block.data(), blockEnd - blockStart);
        if (!read)
            return std::unexpected(read.error());
        // A file cut short while we read: what is missing reads as nothing.
        qsizetype end = qsizetype(*read);
        for (;;) {
            const void* found = end > 0 ? ::memrchr(block.constData(), '\n', std::size_t(end)) : nullptr;
            const qsizetype feed = found ? static_cast<const char*>(found) - block.constData() : -1;
            if (feed < 0) {
                addToCarry(QByteArrayView(block.constData(), end));
                break;
            }
            if (!finishLine(QByteArrayView(block.constData() + feed + 1, end - feed - 1)))
                return {};
            end = feed;
        }
        blockEnd = blockStart;
    }
    (void)finishLine(QByteArrayView());
    return {};
}

// What a logger of this process last wrote to a log file: its size and a hash of its bytes
// (not a copy, which would keep up to the whole size limit resident for the program's life),
// and each line's end and timestamp. A file that still holds those bytes needs no line read
// again. The hash is seeded per process, so no file can be made to match it on purpose.
struct WrittenLog {
    qsizetype size = 0;
    std::size_t hash = 0;
    std::vector<qsizetype> lineEnds;
    std::vector<qint64> seconds;
};

std::size_t contentHash(QByteArrayView bytes)
{
    return qHash(bytes, QHashSeed::globalSeed());
}

std::mutex writtenLogsMutex;
std::map<QString, std::shared_ptr<const WrittenLog>>& writtenLogs()
{
    static std::map<QString, std::shared_ptr<const WrittenLog>> logs;
    return logs;
}

std::shared_ptr<const WrittenLog> lastWritten(const QString& path)
{
    std::lock_guard guard(writtenLogsMutex);
    const auto found = writtenLogs().find(path);
    return found == writtenLogs().end() ? nullptr : found->second;
}

void rememberWritten(const QString& path, std::shared_ptr<const WrittenLog> log)
{
    std::lock_guard guard(writtenLogsMutex);
    if (log)
        writtenLogs()[path] = std::move(log);
    else
        writtenLogs().erase(path);
}

} // namespace

std::expected<std::vector<TelemetryLogger::RetainedLine>, PlatformError>
TelemetryLogger::retainedLinesNewestFirst(std::int64_t reserved) const
{
    std::vector<RetainedLine> kept;
    if (!fileExists(m_eventsLogURL))
        return kept;
    auto file = RegularFileReader::open(m_eventsLogURL);
    if (!file)
        return std::unexpected(file.error());

    const QDateTime cutoff = m_now().addMSecs(static_cast<qint64>(std::llround(-m_retentionPeriod * 1000.0)));
    const qint64 cutoffMSecs = cutoff.toMSecsSinceEpoch();
    std::int64_t total = reserved;

    // Unchanged since this process wrote it: every line is in the writer's form already and its
    // timestamp is known, so only the walk itself is left.
    if (const auto written = lastWritten(m_eventsLogURL); written && written->size == file->size()) {
        QByteArray bytes(written->size, Qt::Uninitialized);
        const auto read = file->readAt(0, bytes.data(), bytes.size());
        if (!read)
            return std::unexpected(read.error());
        if (*read == bytes.size() && contentHash(bytes) == written->hash) {
            for (std::size_t i = written->lineEnds.size(); i-- > 0;) {
                const qsizetype start = i == 0 ? 0 : written->lineEnds[i - 1];
                const qsizetype length = written->lineEnds[i] - start;
                if (written->seconds[i] * 1000 < cutoffMSecs || length > m_maximumFileSize)
                    continue;
                if (total + length > m_maximumFileSize)
                    break;
                total += length;
                kept.push_back({bytes.sliced(start, length), written->seconds[i]});
            }
            return kept;
        }
    }

    // The walk of linesWithinSizeLimit over the lines as loadRetainedLines would give them,
    // taken from the newest end so that it can stop at the first line that overflows.
    const auto walked = forEachLineFromTheEnd(*file, m_maximumFileSize, [&](QByteArrayView raw, bool tooLong) {
        // Longer than the limit as stored: not decoded, as the walk would skip it anyway
        // unless rewriting shrank it (only a hand-padded line could).
        if (tooLong)
            return true;
        QByteArray line;
        qint64 lineSeconds = 0;
        if (const auto seconds = canonicalTelemetryLineTimestamp(raw)) {
            // Already in the writer's own form: decoding and encoding it would give it back.
            if (*seconds * 1000 < cutoffMSecs)
                return true;
            lineSeconds = *seconds;
            line.reserve(raw.size() + 1);
            line.append(raw.data(), raw.size());
        } else {
            // A damaged line (bad UTF-8, cut-off JSON, a foreign object) goes alone; its
            // neighbours are unaffected.
            const QByteArray bytes = raw.toByteArray();
            if (!isValidUtf8(bytes))
                return true;
            const auto event = decodeTelemetryLogEvent(bytes);
            if (!event || event->timestamp < cutoff)
                return true;
            line = encodeTelemetryLogEvent(*event);
            if (line.isEmpty())
                return true;
            lineSeconds = event->timestamp.toSecsSinceEpoch();
        }
        line.append('\n');
        const std::int64_t length = line.size();
        if (length > m_maximumFileSize)
            return true;
        if (total + length > m_maximumFileSize)
            return false;
        total += length;
        kept.push_back({std::move(line), lineSeconds});
        return true;
    });
    if (!walked)
        return std::unexpected(walked.error());
    return kept;
}

void TelemetryLogger::writeNewestFirst(const std::vector<RetainedLine>& olderLines, const QByteArray& newLine) const
{
    qsizetype total = newLine.size();
    for (const auto& line : olderLines)
        total += line.bytes.size();
    auto written = std::make_shared<WrittenLog>();
    QByteArray data;
    data.reserve(total);
    written->lineEnds.reserve(olderLines.size() + 1);
    written->seconds.reserve(olderLines.size() + 1);
    for (auto it = olderLines.rbegin(); it != olderLines.rend(); ++it) {
        data.append(it->bytes);
        written->lineEnds.push_back(data.size());
        written->seconds.push_back(it->seconds);
    }
    // The new line's timestamp as it reads back: only a line in the writer's form has one here.
    std::optional<qint64> newSeconds;
    if (!newLine.isEmpty()) {
        newSeconds = canonicalTelemetryLineTimestamp(QByteArrayView(newLine).chopped(1));
        data.append(newLine);
        written->lineEnds.push_back(data.size());
        written->seconds.push_back(newSeconds.value_or(0));
    }
    const bool ok = m_atomicWriter(data, m_eventsLogURL).has_value();
    written->size = data.size();
    written->hash = contentHash(data);
    rememberWritten(m_eventsLogURL, ok && (newLine.isEmpty() || newSeconds) ? std::move(written) : nullptr);
}

QList<QByteArray> TelemetryLogger::rawLines(const QByteArray& content)
{
    QList<QByteArray> lines = content.split('\n');
    lines.removeIf([](const QByteArray& line) { return line.isEmpty(); });
    return lines;
}

QList<QByteArray> TelemetryLogger::linesWithinSizeLimit(const QList<QByteArray>& lines, std::int64_t maximumFileSize)
{
    std::int64_t total = 0;
    QList<QByteArray> kept;
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        const std::int64_t length = line->size();
        if (length > maximumFileSize)
            continue;
        if (total + length > maximumFileSize)
            break;
        total += length;
        kept.prepend(*line);
    }
    return kept;
}

} // namespace zen
