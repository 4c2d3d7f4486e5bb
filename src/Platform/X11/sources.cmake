# Sources of src/Platform/X11 (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Platform/X11/CarbonHotkeyRegistrar.h
  src/Platform/X11/CarbonHotkeyRegistrar.cpp
)
