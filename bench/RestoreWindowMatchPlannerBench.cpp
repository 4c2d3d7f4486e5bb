#include "Restore/RestoreWindowMatchPlanner.h"

#include "Support/SnapshotFixtures.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <numeric>
#include <random>

using namespace zen;

namespace {

struct Workload {
    std::vector<WindowRecord> saved;
    std::vector<RestoreWindowCandidate> live;
    QSet<QString> running;
};

// A restore as it looks after a day's work: most windows still there with the same process
// and title, some moved or resized, some applications relaunched (new process), some titles
// changed, a few windows closed and a few new ones opened.
Workload makeWorkload(int windows, int applications)
{
    std::mt19937 rng(42);
    const auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    Workload w;
    std::int64_t nextID = 0;
    for (int i = 0; i < windows; ++i) {
        const int app = i % applications;
        const QString bundle = QStringLiteral("org.example.App%1").arg(app);
        const std::int32_t pid = 1000 + app;
        WindowRecord s = test::makeWindow(bundle);
        s.pidAtCapture = pid;
        s.windowTitle = QStringLiteral("Document %1 \u2014 App %2").arg(i).arg(app);
        s.subrole = pick(10) ? std::optional<QString>("AXStandardWindow") : std::optional<QString>("AXDialog");
        const CGRect frame(pick(3000), pick(1500), 300 + pick(1200), 200 + pick(900));
        s.frame = CGRectCodable(frame);
        w.saved.push_back(s);
        w.running.insert(bundle);

        if (pick(20) == 0)
            continue; // closed since
        RestoreWindowCandidate c{0, bundle, app % 7 == 0 ? pid + 5000 : pid, s.windowTitle, s.role, s.subrole, frame};
        if (pick(5) == 0)
            c.title = QStringLiteral("Untitled %1").arg(i);
        if (pick(3) == 0)
            c.frame = CGRect(frame.x() + pick(300) - 150, frame.y() + pick(300) - 150, frame.width() + pick(100),
                             frame.height());
        w.live.push_back(std::move(c));
        if (pick(20) == 0)
            w.live.push_back(RestoreWindowCandidate{0, bundle, pid, QStringLiteral("New %1").arg(i), "AXWindow",
                                                    QString("AXStandardWindow"), CGRect(pick(3000), pick(1500), 640, 480)});
    }
    w.live.resize(std::min<std::size_t>(w.live.size(), windows));
    // Discovery lists the live windows application by application, in its own order.
    // (Permuting indexes rather than the records keeps their moves out of the sort.)
    std::vector<std::size_t> order(w.live.size());
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), rng);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return w.live[a].bundleIdentifier < w.live[b].bundleIdentifier;
    });
    std::vector<RestoreWindowCandidate> ordered;
    ordered.reserve(order.size());
    for (std::size_t i : order) {
        ordered.push_back(w.live[i]);
        ordered.back().id = nextID++;
    }
    w.live = std::move(ordered);
    return w;
}

void runPlanner(benchmark::State& state, int applications)
{
    const Workload w = makeWorkload(int(state.range(0)), applications);
    const RestoreWindowMatchPlanner planner;
    std::size_t matched = 0;
    for (auto _ : state) {
        const auto plans = planner.plans(w.saved, w.live, w.running);
        matched = std::count_if(plans.begin(), plans.end(), [](const auto& p) { return p.candidate.has_value(); });
        benchmark::DoNotOptimize(plans.data());
    }
    state.counters["matched"] = double(matched);
    state.counters["live"] = double(w.live.size());
}

// ~50 applications with about ten windows each: the usual case.
void BM_RestoreWindowMatchPlanner_MixedApplications(benchmark::State& state)
{
    runPlanner(state, 50);
}
BENCHMARK(BM_RestoreWindowMatchPlanner_MixedApplications)->Arg(500)->Unit(benchmark::kMillisecond);

// Every window belongs to one application: every pair is scored and sorted.
void BM_RestoreWindowMatchPlanner_SingleApplication(benchmark::State& state)
{
    runPlanner(state, 1);
}
BENCHMARK(BM_RestoreWindowMatchPlanner_SingleApplication)->Arg(500)->Unit(benchmark::kMillisecond);

} // namespace
