// The program's memory over many cycles of what a person does all day: a save chosen from the
// tray and named in the prompt, a restore of fifty windows by its shortcut, the dashboard
// opened and closed. Against the same cycles without saves after the twentieth, the memory
// must stay within a few percent and stop growing: what a save leaves behind beyond its own
// layout adds up here. Run each variant in a process of its own (filter /0, /1 and /2).
#include "App/ZentharionApp.h"
#include "App/MenuBarMenu.h"
#include "MenuBar/SnapshotMenuController.h"
#include "Dashboard/DashboardView.h"
#include "Shared/UserDefaults.h"
#include "Support/LiveDesktop.h"
#include "Support/TestClientProcess.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace zen;
using namespace zen::testsupport;

namespace {

// Option+Control+L; X keycodes of the evdev keymap Xvfb loads.
const HotkeyBinding optionControlL {37, 0x1800, "Option-Control-L"};

// A field of a /proc/self file, in kB.
double procKb(const char* file, const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/") + QLatin1String(file));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toDouble();
    return 0;
}

double heapInUseKb()
{
    return double(::mallinfo2().uordblks) / 1024.0;
}

// How many heaps (arenas) glibc made: one per thread that allocated while no other was free.
double heapCount()
{
    char* text = nullptr;
    std::size_t size = 0;
    FILE* stream = ::open_memstream(&text, &size);
    ::malloc_info(0, stream);
    std::fclose(stream);
    const double count = QByteArray(text, qsizetype(size)).count("<heap nr=");
    std::free(text);
    return count;
}

void settle()
{
    pumpEventsFor(50);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void BM_SaveRestoreDashboardCycles(benchmark::State& state)
{
    // 0: saves in the first twenty cycles only; 1: in every cycle; 2: in every cycle, each
    // layout deleted again at the cycle's end, so that only what a save leaves beyond its
    // layout can add up.
    const bool savesThroughout = state.range(0) != 0;
    const bool layoutsDeleted = state.range(0) == 2;
    // The quick pass of the test run (ZEN_BENCH_QUICK) walks every step a few times only.
    const bool quick = qEnvironmentVariableIsSet("ZEN_BENCH_QUICK");
    const int cycles = quick ? 4 : 200, savingCycles = quick ? 2 : 20, middle = quick ? 3 : 110;
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        state.SkipWithError("needs an X server (scripts/with-xvfb)");
        return;
    }
    QStringList arguments {"--class", "zen-cycles,ZenCycles"};
    for (int i = 0; i < 50; ++i)
        arguments << "--window" << QStringLiteral("title=Cycle %1,geometry=160x100+%2+%3").arg(i).arg(20 + (i % 10) * 120).arg(40 + (i / 10) * 130);
    TestClientProcess client(arguments);
    if (client.waitUntilReady().size() != 50) {
        state.SkipWithError("the client did not start");
        return;
    }
    QTemporaryDir home;
    ScopedXdgFolders folders(home.filePath("data"), home.filePath("config"));
    UserDefaults defaults(home.filePath("config/Zentharion/Zentharion.conf"));
    defaults.setString("Zentharion.Onboarding.status", "completedAuthorized");
    XSession x;

    ZentharionAppDependencies dependencies = ZentharionAppDependencies::live();
    dependencies.userDefaults = &defaults;
    dependencies.quit = [] {};
    // As the program sets it at start.
    QThreadPool::globalInstance()->setExpiryTimeout(2000);
    auto app = std::make_unique<ZentharionApp>(std::move(dependencies));
    app->showMenuBarExtra();
    app->runStartUpWorkNow();
    const auto controller = app->snapshotMenuController();
    int restores = 0;
    QObject::connect(controller.get(), &SnapshotMenuController::restoreCompletionIDChanged, [&] { ++restores; });

    // The save as the tray's item starts it; the prompt is answered once it is on screen.
    const auto save = [&] {
        const std::size_t before = controller->snapshotSummaries().size();
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* prompt = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (prompt && prompt->windowHandle() && prompt->windowHandle()->isExposed())
                prompt->accept();
        });
        answer.start(30);
        app->performMenuBarAction(MenuBarAction::saveCurrentLayout);
        answer.stop();
        return waitFor([&] { return !controller->isOperating() && controller->snapshotSummaries().size() > before; }, 30000);
    };
    const auto restore = [&] {
        const int before = restores;
        // Pressed again only while the program does not yet hold the key (right after start).
        return waitFor([&] {
            if (restores == before && !controller->isOperating())
                x.pressChord({keycode::controlLeft, keycode::altLeft, keycode::l});
            return restores > before && !controller->isOperating();
        }, 30000, 500);
    };
    const auto dashboard = [&] {
        app->openOrFocusDashboard();
        DashboardView* window = app->dashboardWindow();
        if (!window || !waitFor([&] { return window->windowHandle() && window->windowHandle()->isExposed(); }))
            return false;
        window->close();
        return waitFor([&] { return !window->isVisible(); });
    };

    if (!save() || !controller->setHotkey(optionControlL, controller->snapshotSummaries().front().id)) {
        state.SkipWithError("the first layout was not saved with its shortcut");
        return;
    }
    // Anonymous resident memory; the proportional share of every page mapped; the heap in use.
    std::vector<double> rss, pss, heap;
    for (auto _ : state) {
        for (int cycle = 1; cycle <= cycles; ++cycle) {
            if ((savesThroughout || cycle <= savingCycles) && !save()) {
                state.SkipWithError("a save did not finish");
                return;
            }
            if (!restore() || !dashboard()) {
                state.SkipWithError("a restore or the dashboard did not finish");
                return;
            }
            if (layoutsDeleted && cycle > savingCycles) // the newest first
                controller->deleteSnapshot(controller->snapshotSummaries().front().id);
            settle();
            rss.push_back(procKb("status", "RssAnon"));
            pss.push_back(procKb("smaps_rollup", "Pss"));
            heap.push_back(heapInUseKb());
        }
    }
    const auto at = [](const std::vector<double>& v, int cycle) { return v[std::size_t(cycle - 1)]; };
    for (const auto& [name, values] : {std::pair {"rss_anon_kb", &rss}, {"pss_kb", &pss}, {"heap_kb", &heap}})
        for (const int cycle : {savingCycles, middle, cycles})
            state.counters[std::string(name) + "_at_" + std::to_string(cycle)] = at(*values, cycle);
    state.counters["layouts"] = double(controller->snapshotSummaries().size());
    state.counters["heaps"] = heapCount();
}
BENCHMARK(BM_SaveRestoreDashboardCycles)->Arg(0)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
