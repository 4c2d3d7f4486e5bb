# Tests of the dashboard: the detail sources (paths relative to the project root).
list(APPEND ZEN_TEST_SOURCES
)
