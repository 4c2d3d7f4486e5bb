#include "Platform/X11/X11Connection.h"
#include "Platform/X11/X11Platform.h"
#include "Support/TestClientProcess.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

using zen::testsupport::TestClientProcess;

std::map<int, std::unique_ptr<TestClientProcess>>& clients()
{
    static std::map<int, std::unique_ptr<TestClientProcess>> running;
    return running;
}

// One client per window count, started before the timed loop so that only discovery is
// timed, and ended when the run ends so that its windows weigh on no other benchmark.
TestClientProcess* clientWith(int windows)
{
    auto& client = clients()[windows];
    if (!client) {
        QStringList args {"--class", "zen-bench,BenchClient"};
        for (int i = 0; i < windows; ++i) {
            const int x = 20 + (i % 20) * 100, y = 20 + (i / 20) * 60;
            args << "--window" << QStringLiteral("title=Bench %1,geometry=160x100+%2+%3").arg(i).arg(x).arg(y);
        }
        client = std::make_unique<TestClientProcess>(args);
        if (client->waitUntilReady(30000).size() != std::size_t(windows))
            client.reset();
    }
    return client.get();
}

void BM_DiscoverLiveWindows(benchmark::State& state)
{
    static std::shared_ptr<zen::X11Platform> platform = zen::X11Platform::connect();
    if (!platform || !platform->isProcessTrusted()) {
        state.SkipWithError("no X display with an EWMH window manager");
        return;
    }
    const int windows = int(state.range(0));
    if (!clientWith(windows)) {
        state.SkipWithError("the test client did not start");
        return;
    }
    const auto engine = zen::WindowDiscoveryEngine::forPlatform(platform->services());
    const std::uint64_t before = platform->connection().roundTrips();
    std::size_t found = 0;
    for (auto _ : state) {
        state.PauseTiming();
        platform->forgetReading();
        state.ResumeTiming();
        auto result = engine.discoverRunningWindowsWithDiagnostics();
        found = 0;
        if (result) {
            for (const auto& app : result->applications)
                found += app.windows.size();
        }
        benchmark::DoNotOptimize(found);
    }
    const double iterations = double(state.iterations());
    state.counters["round_trips"] = double(platform->connection().roundTrips() - before) / iterations;
    state.counters["windows_found"] = double(found);
}
void endClients(const benchmark::State&)
{
    clients().clear();
}

BENCHMARK(BM_DiscoverLiveWindows)->Arg(10)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond)->Teardown(endClients);

} // namespace
