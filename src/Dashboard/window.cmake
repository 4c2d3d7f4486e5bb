# Sources of the dashboard: the window sources (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Dashboard/DashboardCommandAvailability.h
  src/Dashboard/DashboardCommandAvailability.cpp
  src/Dashboard/DashboardCommandContext.h
  src/Dashboard/DashboardCommands.h
  src/Dashboard/DashboardCommands.cpp
  src/Dashboard/DashboardElidedLabel.h
  src/Dashboard/DashboardElidedLabel.cpp
  src/Dashboard/DashboardRelativeDateFormatter.h
  src/Dashboard/DashboardRelativeDateFormatter.cpp
  src/Dashboard/DashboardSnapshotRow.h
  src/Dashboard/DashboardSnapshotRow.cpp
  src/Dashboard/DashboardView.h
  src/Dashboard/DashboardView.cpp
  src/Dashboard/DashboardViewPresenter.h
  src/Dashboard/DashboardViewPresenter.cpp
  src/Dashboard/DashboardWindowObserver.h
  src/Dashboard/DashboardWindowObserver.cpp
  src/Dashboard/DashboardWindowRemovalConfirmationView.h
  src/Dashboard/DashboardWindowRemovalConfirmationView.cpp
  src/Dashboard/DashboardWindowSupport.h
  src/Dashboard/DashboardWindowSupport.cpp
  src/Dashboard/SidebarActionButton.h
  src/Dashboard/SidebarActionButton.cpp
)
