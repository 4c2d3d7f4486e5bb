# Sources of src/Platform/Linux (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Platform/Linux/FileViewer.h
  src/Platform/Linux/FileViewer.cpp
  src/Platform/Linux/SavePanel.h
  src/Platform/Linux/SavePanel.cpp
  src/Platform/Linux/MailComposer.h
  src/Platform/Linux/MailComposer.cpp
  src/Platform/Linux/AutostartEntry.h
  src/Platform/Linux/AutostartEntry.cpp
  src/Platform/Linux/MainAppLaunchAtLoginService.h
  src/Platform/Linux/MainAppLaunchAtLoginService.cpp
  src/Platform/Linux/DesktopServices.cpp
)
