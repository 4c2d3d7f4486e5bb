# Sources of src/Platform (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Platform/DesktopServices.h
  src/Platform/AXUIElement.h
  src/Platform/AXAttributeValue.h
  src/Platform/AccessibilityService.h
  src/Platform/WindowServer.h
  src/Platform/Workspace.h
  src/Platform/OwnWindows.h
  src/Platform/ScreenSource.h
  src/Platform/PlatformServices.h
  src/Platform/Edid.h
  src/Platform/Edid.cpp
)
