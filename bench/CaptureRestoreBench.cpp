#include "Platform/X11/X11Connection.h"
#include "Platform/X11/X11Platform.h"
#include "Restore/RestoreEngine.h"
#include "Snapshots/SnapshotCaptureService.h"
#include "Support/TestClientProcess.h"

#include <QPoint>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <utility>

namespace {

using zen::testsupport::TestClientProcess;

std::shared_ptr<zen::X11Platform> livePlatform()
{
    static std::shared_ptr<zen::X11Platform> platform = zen::X11Platform::connect();
    return platform && platform->isProcessTrusted() ? platform : nullptr;
}

struct Fixture {
    std::unique_ptr<TestClientProcess> client;
    std::vector<std::uint32_t> windowIDs;
    QTemporaryDir dir;
    std::optional<zen::SnapshotStore> store;
    QUuid snapshotID;
};

std::map<int, std::unique_ptr<Fixture>>& fixtures()
{
    static std::map<int, std::unique_ptr<Fixture>> live;
    return live;
}

// The clients a run started end with the run, so that their windows weigh on no other
// benchmark (each reading reads the whole desktop).
void endFixtures(const benchmark::State&)
{
    fixtures().clear();
}

// Where the client puts window i (and the wmctrl baseline moves it back to): rows of ten
// 200x100 windows, spread over both monitors.
QPoint windowPosition(std::size_t i)
{
    return {20 + int(i % 10) * 220, 40 + int(i / 10) * 120};
}

// One client per window count, started before the timed loop.
Fixture* fixtureWith(int windows)
{
    auto& f = fixtures()[windows];
    if (!f) {
        f = std::make_unique<Fixture>();
        QStringList args {"--class", QStringLiteral("zen-cr-%1,CaptureRestoreBench%1").arg(windows)};
        for (int i = 0; i < windows; ++i) {
            const QPoint at = windowPosition(std::size_t(i));
            args << "--window" << QStringLiteral("title=Bench %1,geometry=200x100+%2+%3").arg(i).arg(at.x()).arg(at.y());
        }
        f->client = std::make_unique<TestClientProcess>(args);
        f->windowIDs = f->client->waitUntilReady(30000);
        if (f->windowIDs.size() != std::size_t(windows))
            f.reset();
        else
            f->store.emplace(f->dir.filePath(QStringLiteral("Snapshots")));
    }
    return f.get();
}

// Discovery limited to the benchmark's own client, so windows that other benchmarks keep
// open don't count.
zen::SnapshotCaptureService::CaptureContext contextFor(const zen::PlatformServices& services, qint64 pid)
{
    auto context = zen::SnapshotCaptureService::CaptureContext::current(services);
    std::erase_if(context.runningApplications, [pid](const auto& app) { return app.processIdentifier != pid; });
    return context;
}

zen::SnapshotCaptureService captureService(const zen::PlatformServices& services, const Fixture& f)
{
    return zen::SnapshotCaptureService(*f.store, zen::WindowDiscoveryEngine::forPlatform(services),
                                       zen::DisplayResolver(services.screens));
}

std::expected<zen::Snapshot, zen::SnapshotCaptureFailure> captureClient(const zen::SnapshotCaptureService& service,
                                                                       const zen::PlatformServices& services,
                                                                       const Fixture& f)
{
    return service.captureSnapshot(QStringLiteral("Bench"), QDateTime::currentDateTimeUtc(),
                                   contextFor(services, f.client->processId()));
}

// The platform and the client of the run's window count; null (the run skipped) when there is
// no usable X display or the client did not start.
std::pair<std::shared_ptr<zen::X11Platform>, Fixture*> liveFixture(benchmark::State& state)
{
    auto platform = livePlatform();
    Fixture* f = platform ? fixtureWith(int(state.range(0))) : nullptr;
    if (!f)
        state.SkipWithError("no X display with an EWMH window manager, or the client did not start");
    return {std::move(platform), f};
}

// Each iteration reads the desktop itself rather than sharing the last one's reading.
void forgetReadingUntimed(benchmark::State& state, zen::X11Platform& platform)
{
    state.PauseTiming();
    platform.forgetReading();
    state.ResumeTiming();
}

void countRoundTrips(benchmark::State& state, zen::X11Platform& platform, std::uint64_t before)
{
    state.counters["round_trips"] = double(platform.connection().roundTrips() - before) / double(state.iterations());
}

void BM_CaptureLiveWindows(benchmark::State& state)
{
    const auto [platform, f] = liveFixture(state);
    if (!f)
        return;
    const auto services = platform->services();
    const auto service = captureService(services, *f);
    const std::uint64_t before = platform->connection().roundTrips();
    std::size_t saved = 0;
    for (auto _ : state) {
        forgetReadingUntimed(state, *platform);
        auto snapshot = captureClient(service, services, *f);
        if (!snapshot) {
            state.SkipWithError("capture failed");
            return;
        }
        saved = snapshot->windows.size();
        (void)f->store->deleteSnapshot(snapshot->id);
    }
    countRoundTrips(state, *platform, before);
    state.counters["windows"] = double(saved);
}
BENCHMARK(BM_CaptureLiveWindows)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond)->Teardown(endFixtures);

// Restores a layout of the client's windows while they are running (no launch, no wait):
// discovery, pairing, a move and resize of every window, re-stacking and focus.
void BM_RestoreRunningWindows(benchmark::State& state)
{
    const auto [platform, f] = liveFixture(state);
    if (!f)
        return;
    const auto services = platform->services();
    if (f->snapshotID.isNull()) {
        auto snapshot = captureClient(captureService(services, *f), services, *f);
        if (!snapshot) {
            state.SkipWithError("capture failed");
            return;
        }
        f->snapshotID = snapshot->id;
    }
    zen::RestoreEngine engine = zen::RestoreEngine::forPlatform(*f->store, services);
    const auto discovery = zen::WindowDiscoveryEngine::forPlatform(services);
    const qint64 pid = f->client->processId();
    // Like the default providers, the running set comes from the reading discovery made.
    auto lastRunning = std::make_shared<QSet<QString>>();
    engine.runningApplicationBundleProvider = [lastRunning] { return *lastRunning; };
    engine.discoveredApplicationsProvider = [discovery, services, pid, lastRunning]()
        -> std::expected<std::vector<zen::DiscoveredApplication>, zen::RestoreEngineFailure> {
        auto running = discovery.runningApplicationsProvider();
        std::erase_if(running, [pid](const auto& app) { return app.processIdentifier != pid; });
        lastRunning->clear();
        for (const auto& app : running)
            if (app.bundleIdentifier)
                lastRunning->insert(*app.bundleIdentifier);
        auto result = discovery.discoverRunningWindowsWithDiagnostics(running);
        if (!result)
            return std::unexpected(zen::RestoreEngineFailure(result.error()));
        return std::move(result->applications);
    };
    const std::uint64_t before = platform->connection().roundTrips();
    std::int64_t restored = 0;
    for (auto _ : state) {
        forgetReadingUntimed(state, *platform);
        auto result = engine.restoreSnapshot(f->snapshotID);
        if (!result) {
            state.SkipWithError("restore failed");
            return;
        }
        restored = result->restoredWindows;
    }
    countRoundTrips(state, *platform, before);
    state.counters["restored"] = double(restored);
}
BENCHMARK(BM_RestoreRunningWindows)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond)->Teardown(endFixtures);

// The baseline: the same moves made by a shell loop running wmctrl once per window.
void BM_WmctrlShellLoop(benchmark::State& state)
{
    auto platform = livePlatform();
    Fixture* f = platform ? fixtureWith(int(state.range(0))) : nullptr;
    if (!f || std::system("command -v wmctrl >/dev/null 2>&1") != 0) {
        state.SkipWithError("no X display, client or wmctrl");
        return;
    }
    QString script = QStringLiteral("for m in");
    for (std::size_t i = 0; i < f->windowIDs.size(); ++i) {
        const QPoint at = windowPosition(i);
        script += QStringLiteral(" %1:0,%2,%3,200,100").arg(f->windowIDs[i]).arg(at.x()).arg(at.y());
    }
    script += QStringLiteral("; do wmctrl -i -r \"${m%%:*}\" -e \"${m#*:}\"; done");
    const QByteArray command = QStringLiteral("sh -c '%1'").arg(script).toLocal8Bit();
    for (auto _ : state) {
        if (std::system(command.constData()) != 0) {
            state.SkipWithError("wmctrl loop failed");
            return;
        }
    }
    state.counters["windows"] = double(f->windowIDs.size());
}
BENCHMARK(BM_WmctrlShellLoop)->Arg(50)->Unit(benchmark::kMillisecond)->Teardown(endFixtures);

} // namespace
