#include "Displays/DisplayChangeRestoreController.h"
#include "Displays/ScreenParametersNotifier.h"
#include "MenuBar/OperationOverlayController.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/SnapshotFixtures.h"
#include "Support/ManualScheduler.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace zen;
using namespace std::chrono_literals;

namespace {

OperationOverlayController::Environment twoMonitors(std::shared_ptr<OperationScheduler> scheduler)
{
    OperationOverlayController::Environment e;
    e.screens = [] {
        return std::vector<OperationOverlayController::Screen>{{QRect(0, 0, 1280, 800), QRect(0, 0, 1280, 800)},
                                                               {QRect(1280, 0, 1024, 768), QRect(1280, 0, 1024, 768)}};
    };
    e.scheduler = std::move(scheduler);
    return e;
}

// Building, placing and drawing a completion toast on each of two monitors (the previous
// pair is taken down by the next showing). Panels are made anew for every showing.
void BM_CompletionToastsOnTwoMonitors(benchmark::State& state)
{
    auto scheduler = std::make_shared<test::ManualScheduler>();
    OperationOverlayController overlay({}, [](std::function<void()> done) { done(); }, twoMonitors(scheduler));
    const QString detail = "\"Mail\" could not be matched\n\"Notes\" could not be matched";
    int shown = 0;
    for (auto _ : state) {
        overlay.showRestoreCompletion("Restored \"Work\": 7 windows restored, 2 skipped.", detail);
        if (++shown % 16 == 0)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
BENCHMARK(BM_CompletionToastsOnTwoMonitors)->Unit(benchmark::kMicrosecond);

// One evaluation after a monitor was plugged in, over a store of N layouts of which one fits:
// listing and loading every layout, matching, and offering the one that fits.
void BM_DisplayChangeEvaluation(benchmark::State& state)
{
    QTemporaryDir dir;
    const SnapshotStore store(dir.filePath("Snapshots"));
    const DisplayRecord laptop = test::makeDisplay(1, CGRect(0, 0, 1440, 900), true);
    const DisplayRecord studio = test::makeDisplay(2, CGRect(1440, 0, 2560, 1440));
    for (int i = 0; i < state.range(0); ++i) {
        Snapshot s = test::makeSnapshot(QStringLiteral("Layout %1").arg(i));
        const DisplayRecord other = test::makeDisplay(100 + i, CGRect(1440, 0, 1920, 1080));
        s.sourceDisplayState = DisplayState::make({laptop, i == 0 ? studio : other}, 1);
        store.save(s);
    }
    struct Offers final : DisplayRestoreSuggestionPresenting {
        int count = 0;
        bool isDisplayRestoreSuggestionVisible() const override { return false; }
        void showDisplayRestoreSuggestion(const QString&, std::function<void()>) override { ++count; }
        void showDisplayRestoreSuggestionChooser(const std::vector<DisplayRestoreSuggestionOption>&,
                                                 std::function<void(const QUuid&)>) override
        {
            ++count;
        }
        void hideDisplayRestoreSuggestion() override {}
    };
    auto offers = std::make_shared<Offers>();
    auto scheduler = std::make_shared<test::ManualScheduler>();
    ScreenParametersNotifier notifier;
    std::vector<DisplayRecord> displays{laptop};
    DisplayChangeRestoreController::Options options;
    options.notifier = &notifier;
    options.displayStateProvider = [&] { return DisplayState::make(displays, 1); };
    options.scheduler = scheduler;
    options.log = [](QtMsgType, const QString&) {};
    const auto load = [&store]() -> std::expected<std::vector<Snapshot>, SnapshotStoreError> {
        std::vector<Snapshot> all;
        auto summaries = store.listSummaries();
        if (!summaries)
            return std::unexpected(summaries.error());
        for (const auto& summary : *summaries)
            if (auto s = store.loadSnapshot(summary.id))
                all.push_back(*s);
        return all;
    };
    DisplayChangeRestoreController controller(load, [] { return true; }, [] { return true; },
                                              [] { return false; }, offers, [](const QUuid&) {}, options);
    controller.start();
    for (auto _ : state) {
        // Plugged in, then out again (the second evaluation finds no layout for one monitor).
        displays = {laptop, studio};
        controller.displayParametersDidChange();
        scheduler->advance(2s);
        displays = {laptop};
        controller.displayParametersDidChange();
        scheduler->advance(2s);
    }
    if (offers->count != static_cast<int>(state.iterations()))
        state.SkipWithError("the fitting layout was not offered once per plug-in");
    state.SetLabel(std::to_string(state.range(0)) + " layouts, two evaluations per iteration");
}
BENCHMARK(BM_DisplayChangeEvaluation)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

} // namespace
