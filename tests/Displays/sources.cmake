# Unit tests of src/Displays.
list(APPEND ZEN_TEST_SOURCES
  tests/Displays/DisplayResolverTest.cpp
)
