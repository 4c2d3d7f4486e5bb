# Tests of the dashboard: the preview sources (paths relative to the project root).
list(APPEND ZEN_TEST_SOURCES
  tests/Dashboard/DashboardSnapshotPresentationTest.cpp
  tests/Dashboard/DashboardPreviewTestSupport.h
  tests/Dashboard/DashboardDisplayCanvasTest.cpp
  tests/Dashboard/DashboardDisplayWindowListTest.cpp
  tests/Dashboard/DashboardSnapshotPreviewViewTest.cpp
  tests/Dashboard/DashboardCardsTest.cpp
)
