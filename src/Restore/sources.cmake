# Sources of src/Restore (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Restore/RestoreResult.h
  src/Restore/RestoreSkipReason.h
  src/Restore/RestoreWindowMatchPlanner.h
  src/Restore/RestoreWindowMatchPlanner.cpp
)
list(APPEND ZEN_SOURCES
  src/Restore/RestoreWindowApplying.h
  src/Restore/RestoreEngine.h
  src/Restore/RestoreEngine.cpp
)
list(APPEND ZEN_SOURCES
  src/Restore/AXRestoreWindowApplier.h
  src/Restore/AXRestoreWindowApplier.cpp
  src/Restore/RestoreWindowZOrderRestorer.h
  src/Restore/RestoreWindowZOrderRestorer.cpp
)
