# Unit tests of src/Dashboard.
list(APPEND ZEN_TEST_SOURCES
)
list(APPEND ZEN_TEST_SOURCES
  tests/Dashboard/DashboardAppIdentityResolverTest.cpp
)
# Each area of the dashboard keeps its own list.
include(${CMAKE_CURRENT_LIST_DIR}/preview.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/window.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/detail.cmake)
