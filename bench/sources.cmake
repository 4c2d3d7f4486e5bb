# Benchmarks.
list(APPEND ZEN_BENCH_SOURCES
)
list(APPEND ZEN_BENCH_SOURCES
  bench/TelemetryLoggerBench.cpp
)
