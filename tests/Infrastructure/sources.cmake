# Unit tests of src/Infrastructure.
list(APPEND ZEN_TEST_SOURCES
  tests/Infrastructure/InfrastructureTest.cpp
)
