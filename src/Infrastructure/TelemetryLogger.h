#pragma once

#include "Infrastructure/TelemetryLogEvent.h"
#include "Shared/UserFacingError.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace zen {

// Where capture and restore send their outcomes; logging never fails outwardly.
class TelemetryLogging {
public:
    virtual ~TelemetryLogging() = default;
    virtual void log(const TelemetryLogEvent& event) const = 0;
};

// The default of every component that can log: it drops every entry.
class NoOpTelemetryLogger final : public TelemetryLogging {
public:
    void log(const TelemetryLogEvent&) const override {}
};

// The lock that every reader and writer of one log file holds while it works on the file, so
// that a clear on the main thread and a write on a capture thread cannot interleave (a write
// that read the file before a clear would otherwise put the cleared entries back). One lock
// per file path for the whole process.
std::shared_ptr<std::mutex> telemetryLogFileLock(const QString& eventsLogURL);

// Keeps the diagnostic log "events.log" as JSON lines, bounded by age and by size each time it
// writes. It holds no open file; copies share the file's lock.
class TelemetryLogger final : public TelemetryLogging {
public:
    static constexpr double defaultRetentionPeriod = 604800.0; // 7 days, in seconds
    static constexpr std::int64_t defaultMaximumFileSize = 5242880; // 5 MiB

    using Clock = std::function<QDateTime()>;
    using AtomicWriter = std::function<std::expected<void, PlatformError>(const QByteArray& data, const QString& url)>;

    // Empty callbacks take the defaults: the system clock, and an atomic replacement through a
    // temporary file next to the log.
    explicit TelemetryLogger(QString eventsLogURL,
                             double retentionPeriod = defaultRetentionPeriod,
                             std::int64_t maximumFileSize = defaultMaximumFileSize,
                             Clock now = {},
                             AtomicWriter atomicWriter = {});

    // Appends the entry and bounds the file; every failure leaves the file as it was.
    void log(const TelemetryLogEvent& event) const override;
    // Bounds the existing file without adding an entry; creates no file. Also deletes the
    // leftover temporary files of writes cut short by a crash (".events.log.<UUID>.tmp",
    // regular files only) once they are older than staleTemporaryFileAgeSeconds, so a write
    // in progress elsewhere is never touched.
    void performMaintenance() const;
    static constexpr qint64 staleTemporaryFileAgeSeconds = 5 * 60;

    const QString& eventsLogURL() const { return m_eventsLogURL; }
    double retentionPeriod() const { return m_retentionPeriod; }
    std::int64_t maximumFileSize() const { return m_maximumFileSize; }
    const std::shared_ptr<std::mutex>& fileLock() const { return m_fileLock; }

    // The file split into lines at line feeds, without the line feeds; empty lines are
    // omitted. A carriage return before a line feed stays with its line (the JSON reader
    // takes it as white space), so a file with CR LF line ends still reads entry by entry.
    static QList<QByteArray> rawLines(const QByteArray& content);
    // Walking from the newest line: a line longer than the limit by itself is skipped; the
    // first line that would overflow the limit ends the walk, dropping it and all older ones.
    static QList<QByteArray> linesWithinSizeLimit(const QList<QByteArray>& lines, std::int64_t maximumFileSize);

private:
    // The lines the file keeps, newest first: each stored line that decodes and is within the
    // retention period, in the writer's own form, for as long as they fit under the size
    // limit together with `reserved` bytes (the walk of linesWithinSizeLimit). The file is
    // read from its end and only as far as that walk goes; a stored line longer than the
    // limit is skipped unread, so memory stays within about the limit whatever the file's size.
    struct RetainedLine {
        QByteArray bytes; // with its line feed
        qint64 seconds;   // its timestamp, whole seconds since 1970
    };
    std::expected<std::vector<RetainedLine>, PlatformError> retainedLinesNewestFirst(std::int64_t reserved) const;
    // Writes the lines oldest first, then the new line (if any), and remembers what it wrote.
    void writeNewestFirst(const std::vector<RetainedLine>& olderLines, const QByteArray& newLine) const;

    QString m_eventsLogURL;
    double m_retentionPeriod;
    std::int64_t m_maximumFileSize;
    Clock m_now;
    AtomicWriter m_atomicWriter;
    std::shared_ptr<std::mutex> m_fileLock;
};

} // namespace zen
