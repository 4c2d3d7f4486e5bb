# Unit tests of src/Shared.
list(APPEND ZEN_TEST_SOURCES
  tests/Shared/GeometryTest.cpp
)
