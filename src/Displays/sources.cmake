# Sources of src/Displays (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
list(APPEND ZEN_SOURCES
  src/Displays/DisplayConfigurationMatcher.h
  src/Displays/DisplayConfigurationMatcher.cpp
)
