# Unit tests of src/Restore.
list(APPEND ZEN_TEST_SOURCES
  tests/Restore/RestoreWindowMatchPlannerTest.cpp
)
list(APPEND ZEN_TEST_SOURCES
  tests/Restore/RestoreEngineTest.cpp
)
