# Tests of the dashboard: the detail sources (paths relative to the project root).
list(APPEND ZEN_TEST_SOURCES
  tests/Dashboard/DetailTestSupport.h
  tests/Dashboard/DashboardDetailViewPresenterTest.cpp
  tests/Dashboard/DashboardDetailViewTest.cpp
)
