# Unit tests of src/Platform.
list(APPEND ZEN_TEST_SOURCES
  tests/Platform/EdidTest.cpp
)
