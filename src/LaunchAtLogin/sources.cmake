# Sources of src/LaunchAtLogin (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/LaunchAtLogin/LaunchAtLoginServicing.h
  src/LaunchAtLogin/LaunchAtLoginState.h
  src/LaunchAtLogin/LaunchAtLoginState.cpp
  src/LaunchAtLogin/LaunchAtLoginController.h
  src/LaunchAtLogin/LaunchAtLoginController.cpp
)
