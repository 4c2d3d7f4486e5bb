# Sources of src/Settings (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Settings/SettingsTab.h
  src/Settings/SettingsNavigationController.h
  src/Settings/SettingsNavigationController.cpp
  src/Settings/DiagnosticLogStatus.h
  src/Settings/ZentharionSupport.h
  src/Settings/ZentharionSupport.cpp
  src/Settings/SettingsViewPresenter.h
  src/Settings/SettingsViewPresenter.cpp
  src/Settings/SettingsSymbols.h
  src/Settings/SettingsSymbols.cpp
  src/Settings/SettingsRows.h
  src/Settings/SettingsRows.cpp
  src/Settings/SettingsView.h
  src/Settings/SettingsView.cpp
)
