# Sources of src/Dashboard (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
list(APPEND ZEN_SOURCES
  src/Dashboard/DashboardAppIdentityResolver.h
  src/Dashboard/DashboardAppIdentityResolver.cpp
)
