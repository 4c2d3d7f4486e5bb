# Tests of the dashboard: the window sources (paths relative to the project root).
list(APPEND ZEN_TEST_SOURCES
  tests/Dashboard/DashboardWindowFixture.h
  tests/Dashboard/DashboardViewPresenterTest.cpp
  tests/Dashboard/DashboardViewTest.cpp
  tests/Dashboard/DashboardSidebarTest.cpp
  tests/Dashboard/DashboardWindowSupportTest.cpp
  tests/Dashboard/DashboardWindowLookTest.cpp
)
