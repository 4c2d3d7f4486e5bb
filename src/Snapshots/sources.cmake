# Sources of src/Snapshots (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Snapshots/Snapshot.h
  src/Snapshots/Snapshot.cpp
  src/Snapshots/SnapshotCoding.h
  src/Snapshots/SnapshotCoding.cpp
)
