#include "Shared/AtomicFileWriter.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/SnapshotFixtures.h"

#include <QDir>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <benchmark/benchmark.h>

using namespace zen;

namespace {

// A layout like a real one: windows of several applications over two displays, with titles.
Snapshot typicalLayout(int index, int windowCount)
{
    std::vector<WindowRecord> windows;
    windows.reserve(std::size_t(windowCount));
    for (int i = 0; i < windowCount; ++i) {
        WindowRecord w = test::makeWindow(QStringLiteral("org.example.App%1").arg(i % 7), std::uint32_t(1 + i % 2), i);
        w.windowTitle = QStringLiteral("Document %1 \u2014 Project %2").arg(i).arg(index);
        windows.push_back(std::move(w));
    }
    Snapshot s = test::makeSnapshot(QStringLiteral("Layout %1").arg(index), std::move(windows));
    s.sourceDisplayState = DisplayState::make({test::makeDisplay(1, CGRect(0, 0, 1440, 900), true),
                                               test::makeDisplay(2, CGRect(1440, 0, 1920, 1080))},
                                              1);
    s.updatedAt = test::fixedDate(0, index);
    return s;
}

// A layouts folder of `count` layouts of 30 windows, made once per count.
QString folderOf(int count)
{
    static std::map<int, std::unique_ptr<QTemporaryDir>> folders;
    auto& dir = folders[count];
    if (!dir) {
        dir = std::make_unique<QTemporaryDir>();
        const SnapshotStore store(dir->path());
        for (int i = 0; i < count; ++i)
            (void)store.save(typicalLayout(i, 30));
    }
    return dir->path();
}

void BM_SnapshotStoreListSummaries(benchmark::State& state)
{
    const SnapshotStore store(folderOf(int(state.range(0))));
    for (auto _ : state) {
        auto list = store.listSummaries();
        if (!list || list->size() != std::size_t(state.range(0)))
            state.SkipWithError("the listing is incomplete");
        benchmark::DoNotOptimize(list);
    }
}
BENCHMARK(BM_SnapshotStoreListSummaries)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// The floor of any listing: every layout file read and parsed as JSON, nothing more.
void BM_SnapshotStoreReadAndParseFloor(benchmark::State& state)
{
    const QString folder = folderOf(int(state.range(0)));
    for (auto _ : state) {
        const QStringList names = QDir(folder).entryList({QStringLiteral("*.json")}, QDir::Files);
        std::size_t parsed = 0;
        for (const QString& name : names) {
            const auto bytes = readRegularFile(QDir(folder).filePath(name), SnapshotStore::maximumFileSize);
            if (bytes && QJsonDocument::fromJson(*bytes).isObject())
                ++parsed;
        }
        if (parsed != std::size_t(state.range(0)))
            state.SkipWithError("a layout file did not parse");
    }
}
BENCHMARK(BM_SnapshotStoreReadAndParseFloor)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_SnapshotStoreSaveOneLayout(benchmark::State& state)
{
    QTemporaryDir dir;
    const SnapshotStore store(dir.path());
    const Snapshot layout = typicalLayout(0, int(state.range(0)));
    for (auto _ : state) {
        if (!store.save(layout))
            state.SkipWithError("the save failed");
    }
}
BENCHMARK(BM_SnapshotStoreSaveOneLayout)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

void BM_SnapshotStoreLoadOneLayout(benchmark::State& state)
{
    QTemporaryDir dir;
    const SnapshotStore store(dir.path());
    const Snapshot layout = typicalLayout(0, int(state.range(0)));
    (void)store.save(layout);
    for (auto _ : state) {
        auto loaded = store.loadSnapshot(layout.id);
        if (!loaded)
            state.SkipWithError("the load failed");
        benchmark::DoNotOptimize(loaded);
    }
}
BENCHMARK(BM_SnapshotStoreLoadOneLayout)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

} // namespace
