// A settings change as the person makes it on the main thread: the file read, changed by
// QSettings on a private copy beside it, and replaced, under the settings folder's lock. The
// folder is in the temporary folder: where that is memory (a tmpfs), the disk's syncs are left
// out of the figure.
#include "Shared/UserDefaults.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace zen;

namespace {

void BM_SettingsStore(benchmark::State& state)
{
    QTemporaryDir home;
    UserDefaults defaults(home.filePath("Zentharion/Zentharion.conf"), home.path(), {.later = [](auto, auto) {}});
    defaults.setString("Zentharion.Updates.lastCheckTime", "2026-12-08T06:00:00.000Z");
    int i = 0;
    for (auto _ : state)
        defaults.setBool("SuggestRestoreOnDisplayChange", ++i % 2 == 0);
    if (defaults.notSavedReason())
        state.SkipWithError(qPrintable(*defaults.notSavedReason()));
}
BENCHMARK(BM_SettingsStore)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
