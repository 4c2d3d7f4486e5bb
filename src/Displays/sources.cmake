# Sources of src/Displays (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Displays/DisplayResolver.h
  src/Displays/DisplayResolver.cpp
)
