# Sources of the dashboard: the detail sources (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Dashboard/DashboardDetailContentPreference.h
  src/Dashboard/DashboardDetailViewPresenter.h
  src/Dashboard/DashboardDetailViewPresenter.cpp
  src/Dashboard/DashboardDetailView.h
  src/Dashboard/DashboardDetailView.cpp
  src/Dashboard/DashboardMetricCard.h
  src/Dashboard/DashboardMetricCard.cpp
  src/Dashboard/MiddleElidedLabel.h
  src/Dashboard/MiddleElidedLabel.cpp
  src/Dashboard/DashboardHotkeyMetricCard.h
  src/Dashboard/DashboardHotkeyMetricCard.cpp
  src/Dashboard/InlineHotkeyCaptureField.h
  src/Dashboard/InlineHotkeyCaptureField.cpp
  src/Dashboard/HotkeyCaptureErrorPopover.h
  src/Dashboard/HotkeyCaptureErrorPopover.cpp
)
