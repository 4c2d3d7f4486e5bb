#include "Infrastructure/TelemetryLogger.h"

#include "Shared/AtomicFileWriter.h"
#include "Shared/Directories.h"
#include "Shared/Uuid.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <QUuid>

#include <cmath>

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
    auto lines = loadRetainedLines();
    if (!lines)
        return;
    lines->append(line);
    writeLines(linesWithinSizeLimit(*lines, m_maximumFileSize));
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
    const auto lines = loadRetainedLines();
    if (!lines)
        return;
    writeLines(linesWithinSizeLimit(*lines, m_maximumFileSize));
}

std::expected<QList<QByteArray>, PlatformError> TelemetryLogger::loadRetainedLines() const
{
    if (!fileExists(m_eventsLogURL))
        return QList<QByteArray>{};
    const auto content = readRegularFile(m_eventsLogURL, maximumReadableFileSize);
    if (!content)
        return std::unexpected(content.error());

    const QDateTime cutoff = m_now().addMSecs(static_cast<qint64>(std::llround(-m_retentionPeriod * 1000.0)));
    QList<QByteArray> retained;
    for (const QByteArray& raw : rawLines(*content)) {
        // A damaged line (bad UTF-8, cut-off JSON, a foreign object) goes alone; its
        // neighbours are unaffected.
        if (!isValidUtf8(raw))
            continue;
        const auto event = decodeTelemetryLogEvent(raw);
        if (!event || event->timestamp < cutoff)
            continue;
        QByteArray line = encodeTelemetryLogEvent(*event);
        if (line.isEmpty())
            continue;
        line.append('\n');
        retained.append(std::move(line));
    }
    return retained;
}

void TelemetryLogger::writeLines(const QList<QByteArray>& lines) const
{
    qsizetype total = 0;
    for (const auto& line : lines)
        total += line.size();
    QByteArray data;
    data.reserve(total);
    for (const auto& line : lines)
        data.append(line);
    (void)m_atomicWriter(data, m_eventsLogURL);
}

QList<QByteArray> TelemetryLogger::rawLines(const QByteArray& content)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        if (end < 0)
            end = content.size();
        if (end > start)
            lines.append(content.mid(start, end - start));
        start = end + 1;
    }
    return lines;
}

QList<QByteArray> TelemetryLogger::linesWithinSizeLimit(const QList<QByteArray>& lines, std::int64_t maximumFileSize)
{
    std::int64_t total = 0;
    qsizetype firstKept = lines.size();
    QList<bool> keep(lines.size(), false);
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const std::int64_t length = lines[i].size();
        if (length > maximumFileSize)
            continue;
        if (total + length > maximumFileSize)
            break;
        total += length;
        keep[i] = true;
        firstKept = i;
    }
    QList<QByteArray> kept;
    for (qsizetype i = firstKept; i < lines.size(); ++i)
        if (keep[i])
            kept.append(lines[i]);
    return kept;
}

} // namespace zen
