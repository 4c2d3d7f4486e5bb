# Sources of src/App (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
list(APPEND ZEN_SOURCES
  src/App/DashboardOpener.h
  src/App/DashboardOpener.cpp
  src/App/LaunchDecision.h
  src/App/LaunchDecision.cpp
  src/App/LiveAppDependencies.cpp
  src/App/MenuBarMenu.h
  src/App/MenuBarMenu.cpp
  src/App/MenuBarTray.h
  src/App/MenuBarTray.cpp
  src/App/SingleInstanceLock.h
  src/App/SingleInstanceLock.cpp
  src/App/SessionBusActivation.h
  src/App/SessionBusActivation.cpp
  src/App/StartUpWork.h
  src/App/StartUpWork.cpp
  src/App/TerminationSignals.h
  src/App/TerminationSignals.cpp
  src/App/ZentharionApp.h
  src/App/ZentharionApp.cpp
)
