# Benchmarks.
list(APPEND ZEN_BENCH_SOURCES
  bench/RestoreWindowMatchPlannerBench.cpp
)
