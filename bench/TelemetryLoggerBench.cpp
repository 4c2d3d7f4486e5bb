#include "Infrastructure/TelemetryLogger.h"
#include "Shared/AtomicFileWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace zen;

namespace {

const QDateTime benchNow = QDateTime(QDate(2024, 3, 10), QTime(9, 30, 0), Qt::UTC);

// A typical restore entry: counts and a handful of detail items.
TelemetryLogEvent typicalEvent(int index)
{
    TelemetryLogEvent event;
    event.timestamp = benchNow.addSecs(-index);
    event.name = QStringLiteral("restore.completed");
    event.snapshotID = QUuid::createUuid();
    event.savedWindowCount = 12;
    event.restoredWindowCount = 9;
    event.skippedWindowCount = 2;
    event.downgradedWindowCount = 1;
    event.displayFallbackCount = 1;
    event.details = {
        {.kind = "restoreSkipped", .bundleIdentifier = "org.example.Mail", .reason = "application is not running"},
        {.kind = "restoreSkipped", .bundleIdentifier = "org.example.Chat", .reason = "no matching window"},
        {.kind = "restoreDowngraded", .bundleIdentifier = "org.example.Player", .reason = "full screen not restored"},
        {.kind = "displayFallback", .reason = "saved display not connected", .savedDisplayID = 731u, .resolvedDisplayID = 1u},
    };
    return event;
}

// A log filled to the size limit with entries newer than the retention cut-off.
QString seedFullLog(const QTemporaryDir& dir, std::int64_t* lineCount)
{
    const QString path = dir.filePath("events.log");
    QByteArray content;
    std::int64_t lines = 0;
    for (int i = 0;; ++i) {
        const QByteArray line = encodeTelemetryLogEvent(typicalEvent(i)) + '\n';
        if (content.size() + line.size() > TelemetryLogger::defaultMaximumFileSize)
            break;
        content.prepend(line);
        ++lines;
    }
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(content);
    *lineCount = lines;
    return path;
}

TelemetryLogger benchLogger(const QString& path)
{
    return TelemetryLogger(path, TelemetryLogger::defaultRetentionPeriod, TelemetryLogger::defaultMaximumFileSize,
                           [] { return benchNow; });
}

void BM_TelemetryLoggerLogIntoEmptyLog(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("events.log");
    const auto logger = benchLogger(path);
    const auto event = typicalEvent(0);
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(path);
        state.ResumeTiming();
        logger.log(event);
    }
}
BENCHMARK(BM_TelemetryLoggerLogIntoEmptyLog)->Unit(benchmark::kMicrosecond);

// Every entry rewrites the whole file: at the cap this is the worst case of one log() call.
void BM_TelemetryLoggerLogAtSizeLimit(benchmark::State& state)
{
    QTemporaryDir dir;
    std::int64_t lines = 0;
    const auto logger = benchLogger(seedFullLog(dir, &lines));
    const auto event = typicalEvent(0);
    for (auto _ : state)
        logger.log(event);
    state.counters["lines"] = static_cast<double>(lines);
    state.SetBytesProcessed(state.iterations() * TelemetryLogger::defaultMaximumFileSize);
}
BENCHMARK(BM_TelemetryLoggerLogAtSizeLimit)->Unit(benchmark::kMillisecond);

// The floor of any write at the cap: reading the file whole and atomically rewriting it.
void BM_TelemetryLogReadAndAtomicRewriteFloor(benchmark::State& state)
{
    QTemporaryDir dir;
    std::int64_t lines = 0;
    const QString path = seedFullLog(dir, &lines);
    const AtomicFileWriter writer;
    int round = 0;
    for (auto _ : state) {
        const auto bytes = readRegularFile(path, TelemetryLogger::defaultMaximumFileSize);
        if (!bytes || !writer.write(path, dir.filePath(QStringLiteral(".events.log.%1.tmp").arg(++round)), *bytes))
            state.SkipWithError("the floor could not read or write the log");
    }
    state.SetBytesProcessed(state.iterations() * TelemetryLogger::defaultMaximumFileSize);
}
BENCHMARK(BM_TelemetryLogReadAndAtomicRewriteFloor)->Unit(benchmark::kMillisecond);

void BM_TelemetryLoggerMaintenanceAtSizeLimit(benchmark::State& state)
{
    QTemporaryDir dir;
    std::int64_t lines = 0;
    const auto logger = benchLogger(seedFullLog(dir, &lines));
    for (auto _ : state)
        logger.performMaintenance();
    state.counters["lines"] = static_cast<double>(lines);
    state.SetBytesProcessed(state.iterations() * TelemetryLogger::defaultMaximumFileSize);
}
BENCHMARK(BM_TelemetryLoggerMaintenanceAtSizeLimit)->Unit(benchmark::kMillisecond);

} // namespace
