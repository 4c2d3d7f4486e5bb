# Sources of the dashboard: the preview sources (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Dashboard/DashboardAppIdentity.h
  src/Dashboard/DashboardAppSummary.h
  src/Dashboard/DashboardAppSummary.cpp
  src/Dashboard/DashboardDisplayPreviewModel.h
  src/Dashboard/DashboardWindowPreviewGroup.h
  src/Dashboard/DashboardWindowRemovalConfirmation.h
  src/Dashboard/DashboardWindowRemovalConfirmation.cpp
  src/Dashboard/DashboardSnapshotPresentation.h
  src/Dashboard/DashboardSnapshotPresentation.cpp
)
