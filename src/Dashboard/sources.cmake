# Sources of src/Dashboard (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
list(APPEND ZEN_SOURCES
  src/Dashboard/DashboardAppIdentityResolver.h
  src/Dashboard/DashboardAppIdentityResolver.cpp
)
# Each area of the dashboard keeps its own list.
include(${CMAKE_CURRENT_LIST_DIR}/preview.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/window.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/detail.cmake)
