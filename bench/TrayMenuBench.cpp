// What opening the tray menu costs: the access check it now makes each time, and building the
// menu's rows from the layout list.
#include "App/MenuBarMenu.h"
#include "Permissions/AccessibilityTrustChecker.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>

namespace {

void BM_AccessCheckOnMenuOpen(benchmark::State& state)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        state.SkipWithError("needs an X server");
        return;
    }
    const zen::AccessibilityTrustChecker checker;
    for (auto _ : state)
        benchmark::DoNotOptimize(checker.isTrusted());
}
BENCHMARK(BM_AccessCheckOnMenuOpen)->Unit(benchmark::kMicrosecond);

void BM_MenuRowsFromLayouts(benchmark::State& state)
{
    zen::MenuBarMenuState menu;
    menu.authorizationState = zen::AccessibilityAuthorizationState::authorized;
    for (int i = 0; i < state.range(0); ++i) {
        zen::SnapshotSummary summary;
        summary.id = QUuid::createUuid();
        summary.name = QStringLiteral("Layout number %1 with a rather long name to shorten").arg(i);
        if (i % 2 == 0)
            summary.hotkey = zen::HotkeyBinding{std::uint32_t(i % 40), 0x900, QStringLiteral("Command-Option-X")};
        if (i % 4 == 0)
            menu.refusedHotkeyLayoutIDs.insert(summary.id);
        menu.snapshotSummaries.push_back(summary);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(zen::MenuBarMenu::items(menu));
}
BENCHMARK(BM_MenuRowsFromLayouts)->Arg(7)->Arg(100)->Unit(benchmark::kMicrosecond);

} // namespace
