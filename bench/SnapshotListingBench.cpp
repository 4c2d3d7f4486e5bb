// Listing a store against its yardstick: the same files read and parsed by simdjson, nothing
// more. Runs alternate one for one; the counters give the median of the paired ratios and the
// smallest and largest, of the time waited and of the processor time spent.
#include "Shared/AtomicFileWriter.h"
#include "Snapshots/SnapshotCoding.h"
#include "Snapshots/SnapshotStore.h"
#include "Snapshots/SnapshotSummaryScanner.h"
#include "Support/SnapshotFixtures.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <simdjson.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>
#include <memory>
#include <vector>
#include <benchmark/benchmark.h>

using namespace zen;

namespace {

Snapshot listedLayout(int index)
{
    std::vector<WindowRecord> windows;
    for (int i = 0; i < 30; ++i) {
        WindowRecord w = test::makeWindow(QStringLiteral("org.example.App%1").arg(i % 7), std::uint32_t(1 + i % 2), i);
        w.windowTitle = QStringLiteral("Document %1 \u2014 Project %2").arg(i).arg(index);
        w.frame = CGRectCodable(i * 10, 0, 800, 600);
        windows.push_back(std::move(w));
    }
    Snapshot s = test::makeSnapshot(QStringLiteral("Layout %1").arg(index), std::move(windows));
    s.sourceDisplayState = DisplayState::make({test::makeDisplay(1, CGRect(0, 0, 1440, 900), true),
                                               test::makeDisplay(2, CGRect(1440, 0, 1920, 1080))},
                                              1);
    s.updatedAt = test::fixedDate(0, index);
    return s;
}

// 1,000 layouts of 30 windows; with `fractions`, every integer is written "4242.0" as other
// writers do.
QString folderOf(bool fractions)
{
    static std::map<bool, std::unique_ptr<QTemporaryDir>> folders;
    auto& dir = folders[fractions];
    if (!dir) {
        dir = std::make_unique<QTemporaryDir>();
        static const QRegularExpression integer(QStringLiteral("(: -?[0-9]+)(,?\\n)"));
        for (int i = 0; i < 1000; ++i) {
            const Snapshot s = listedLayout(i);
            QString text = QString::fromUtf8(encodeSnapshotDocument(s).value());
            if (fractions)
                text.replace(integer, QStringLiteral("\\1.0\\2"));
            QFile file(SnapshotStore(dir->path()).fileURL(s.id));
            if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
                return {};
        }
    }
    return dir->path();
}

double seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Processor time of every thread of the process so far.
double processorSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Every value of the parsed document looked at once: what any reader of it does at least.
std::size_t visit(const simdjson::dom::element& e)
{
    switch (e.type()) {
    case simdjson::dom::element_type::OBJECT: {
        std::size_t n = 0;
        for (const auto field : simdjson::dom::object(e))
            n += field.key.size() + visit(field.value);
        return n;
    }
    case simdjson::dom::element_type::ARRAY: {
        std::size_t n = 0;
        for (const auto value : simdjson::dom::array(e))
            n += visit(value);
        return n;
    }
    case simdjson::dom::element_type::STRING: return std::string_view(e).size();
    default: return 1;
    }
}

// The yardstick: each file of the folder read and parsed by simdjson; with `visiting`, every
// value of it looked at too.
std::size_t readAndParse(const QString& folder, simdjson::dom::parser& parser, bool visiting)
{
    std::size_t parsed = 0, visited = 0;
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        const auto bytes = readRegularFile(QDir(folder).filePath(name), SnapshotStore::maximumFileSize,
                                           qsizetype(simdjson::SIMDJSON_PADDING) + 1);
        simdjson::dom::element root;
        if (bytes && !parser.parse(bytes->constData(), size_t(bytes->size()), false).get(root) && root.is_object()) {
            ++parsed;
            if (visiting)
                visited += visit(root);
        }
    }
    benchmark::DoNotOptimize(visited);
    return parsed;
}

void BM_ListingVersusSimdjsonParse(benchmark::State& state)
{
    const QString folder = folderOf(state.range(0) != 0);
    const SnapshotStore store(folder);
    simdjson::dom::parser parser;
    std::vector<double> ratios, visitingRatios, processorRatios;
    for (auto _ : state) {
        const double before = processorSeconds();
        const auto a = std::chrono::steady_clock::now();
        const auto list = store.listSummaries();
        const auto b = std::chrono::steady_clock::now();
        const double listing = processorSeconds() - before;
        const std::size_t parsed = readAndParse(folder, parser, false);
        const auto c = std::chrono::steady_clock::now();
        const double parsing = processorSeconds() - before - listing;
        const std::size_t visited = readAndParse(folder, parser, true);
        const auto d = std::chrono::steady_clock::now();
        if (!list || list->size() != 1000 || parsed != 1000 || visited != 1000)
            state.SkipWithError("a layout was not listed or parsed");
        ratios.push_back(seconds(b - a) / seconds(c - b));
        visitingRatios.push_back(seconds(b - a) / seconds(d - c));
        processorRatios.push_back(listing / parsing);
    }
    std::sort(ratios.begin(), ratios.end());
    std::sort(visitingRatios.begin(), visitingRatios.end());
    std::sort(processorRatios.begin(), processorRatios.end());
    state.counters["ratio_median"] = ratios[ratios.size() / 2];
    state.counters["ratio_min"] = ratios.front();
    state.counters["ratio_max"] = ratios.back();
    state.counters["ratio_to_visit_median"] = visitingRatios[visitingRatios.size() / 2];
    // The listing's processor time against the yardstick's, both on one thread.
    state.counters["processor_ratio_median"] = processorRatios[processorRatios.size() / 2];
    state.counters["processor_ratio_min"] = processorRatios.front();
    state.counters["processor_ratio_max"] = processorRatios.back();
}
BENCHMARK(BM_ListingVersusSimdjsonParse)->Arg(0)->Arg(1)->Iterations(11)->Unit(benchmark::kMillisecond);

} // namespace

namespace {

// Loading one layout: the reading with simdjson against Qt's JSON reader, paired runs.
void BM_LoadWithSimdjsonVersusQJson(benchmark::State& state)
{
    std::vector<WindowRecord> windows;
    for (int i = 0; i < state.range(0); ++i)
        windows.push_back(test::makeWindow(QStringLiteral("org.example.App%1").arg(i % 7), 1, i));
    const QByteArray document = encodeSnapshotDocument(test::makeSnapshot(QStringLiteral("Big"), windows)).value();
    std::vector<double> ratios;
    for (auto _ : state) {
        const auto a = std::chrono::steady_clock::now();
        const auto fast = decodeSnapshotDocument(document);
        const auto b = std::chrono::steady_clock::now();
        const auto reference = decodeSnapshotDocumentWithQJson(document);
        const auto c = std::chrono::steady_clock::now();
        if (!fast || !reference)
            state.SkipWithError("the layout did not load");
        ratios.push_back(seconds(b - a) / seconds(c - b));
    }
    std::sort(ratios.begin(), ratios.end());
    state.counters["ratio_median"] = ratios[ratios.size() / 2];
    state.counters["ratio_min"] = ratios.front();
    state.counters["ratio_max"] = ratios.back();
}
BENCHMARK(BM_LoadWithSimdjsonVersusQJson)->Arg(30)->Arg(300)->Arg(900)->Iterations(21)->Unit(benchmark::kMillisecond);

} // namespace

namespace {

// The reading of list rows alone, the files already in memory, against simdjson's DOM parse of
// the same bytes, paired runs.
void BM_RowReadingVersusSimdjsonParse(benchmark::State& state)
{
    const QString folder = folderOf(state.range(0) != 0);
    std::vector<QByteArray> documents;
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        documents.push_back(readRegularFile(QDir(folder).filePath(name), SnapshotStore::maximumFileSize,
                                            qsizetype(simdjson::SIMDJSON_PADDING) + 1)
                                .value_or(QByteArray()));
    SnapshotSummaryScanner scanner;
    simdjson::dom::parser parser;
    std::vector<double> ratios;
    for (auto _ : state) {
        const auto a = std::chrono::steady_clock::now();
        std::size_t rows = 0, parsed = 0;
        for (const QByteArray& d : documents)
            rows += scanner.read(d).verdict == SnapshotSummaryScanner::Verdict::row ? 1 : 0;
        const auto b = std::chrono::steady_clock::now();
        for (const QByteArray& d : documents) {
            simdjson::dom::element root;
            parsed += parser.parse(d.constData(), size_t(d.size()), false).get(root) == simdjson::SUCCESS ? 1 : 0;
        }
        const auto c = std::chrono::steady_clock::now();
        if (rows != 1000 || parsed != 1000)
            state.SkipWithError("a layout was not read or parsed");
        ratios.push_back(seconds(b - a) / seconds(c - b));
    }
    std::sort(ratios.begin(), ratios.end());
    state.counters["ratio_median"] = ratios[ratios.size() / 2];
    state.counters["ratio_min"] = ratios.front();
    state.counters["ratio_max"] = ratios.back();
}
BENCHMARK(BM_RowReadingVersusSimdjsonParse)->Arg(0)->Arg(1)->Iterations(21)->Unit(benchmark::kMillisecond);

} // namespace
