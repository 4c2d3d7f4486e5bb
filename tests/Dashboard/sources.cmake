# Unit tests of src/Dashboard.
list(APPEND ZEN_TEST_SOURCES
)
list(APPEND ZEN_TEST_SOURCES
  tests/Dashboard/DashboardAppIdentityResolverTest.cpp
)
