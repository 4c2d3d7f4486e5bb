# Benchmarks.
list(APPEND ZEN_BENCH_SOURCES
  bench/RestoreWindowMatchPlannerBench.cpp
  bench/X11DiscoveryBench.cpp
)
list(APPEND ZEN_BENCH_SOURCES
  bench/TelemetryLoggerBench.cpp
)
list(APPEND ZEN_BENCH_SOURCES
  bench/CaptureRestoreBench.cpp
)
list(APPEND ZEN_BENCH_SOURCES
  bench/OverlayBench.cpp
  bench/DashboardPreviewBench.cpp
  bench/DashboardOpenBench.cpp
  bench/SnapshotStoreBench.cpp
  bench/SnapshotListingBench.cpp
)
list(APPEND ZEN_BENCH_SOURCES bench/TrayMenuBench.cpp)
list(APPEND ZEN_BENCH_SOURCES bench/StartupBench.cpp)
list(APPEND ZEN_BENCH_SOURCES bench/SaveCycleMemoryBench.cpp)
list(APPEND ZEN_BENCH_SOURCES bench/SettingsStoreBench.cpp)
