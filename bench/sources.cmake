# Benchmarks.
list(APPEND ZEN_BENCH_SOURCES
  bench/X11DiscoveryBench.cpp
)
