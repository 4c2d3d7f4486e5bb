# Sources of src/Platform/X11 (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Platform/X11/CarbonHotkeyRegistrar.h
  src/Platform/X11/CarbonHotkeyRegistrar.cpp
  src/Platform/X11/X11Connection.h
  src/Platform/X11/X11Connection.cpp
  src/Platform/X11/X11DesktopReader.h
  src/Platform/X11/X11DesktopReader.cpp
  src/Platform/X11/DesktopEntryResolver.h
  src/Platform/X11/DesktopEntryResolver.cpp
  src/Platform/X11/X11WindowWriter.h
  src/Platform/X11/X11WindowWriter.cpp
  src/Platform/X11/X11Platform.h
  src/Platform/X11/X11Platform.cpp
  src/Platform/X11/X11OwnWindows.h
  src/Platform/X11/X11OwnWindows.cpp
  src/Platform/X11/X11ButtonPresses.h
  src/Platform/X11/X11ButtonPresses.cpp
)
list(APPEND ZEN_SOURCES
  src/Platform/X11/CompositingManagerProbe.h
  src/Platform/X11/CompositingManagerProbe.cpp
)
