# Sources of src/Shared (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Shared/Geometry.h
)
