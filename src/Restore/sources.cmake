# Sources of src/Restore (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Restore/RestoreResult.h
)
