# Sources of src/Displays (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Displays/DisplayResolver.h
  src/Displays/DisplayResolver.cpp
)
list(APPEND ZEN_SOURCES
  src/Displays/DisplayConfigurationMatcher.h
  src/Displays/DisplayConfigurationMatcher.cpp
)
