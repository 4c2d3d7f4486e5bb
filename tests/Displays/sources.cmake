# Unit tests of src/Displays.
list(APPEND ZEN_TEST_SOURCES
  tests/Displays/DisplayConfigurationMatcherTest.cpp
  tests/Displays/DisplayResolverTest.cpp
)
list(APPEND ZEN_TEST_SOURCES
  tests/Displays/DisplayChangeRestoreControllerTest.cpp
)
