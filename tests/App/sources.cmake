# Unit tests of src/App.
list(APPEND ZEN_TEST_SOURCES
)
list(APPEND ZEN_TEST_SOURCES
  tests/App/LaunchDecisionTest.cpp
  tests/App/MenuBarMenuTest.cpp
  tests/App/ReadableWordsTest.cpp
  tests/App/SingleInstanceLockTest.cpp
  tests/App/SessionBusActivationTest.cpp
  tests/App/TerminationSignalsTest.cpp
  tests/App/ZentharionAppTest.cpp
)
