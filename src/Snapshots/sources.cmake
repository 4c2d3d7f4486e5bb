# Sources of src/Snapshots (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Snapshots/Snapshot.h
  src/Snapshots/Snapshot.cpp
  src/Snapshots/SnapshotCoding.h
  src/Snapshots/SnapshotCoding.cpp
  src/Snapshots/SnapshotStoreError.h
  src/Snapshots/SnapshotStoreError.cpp
  src/Snapshots/SnapshotSummary.h
  src/Snapshots/SnapshotSummary.cpp
  src/Snapshots/SnapshotLayoutJson.h
  src/Snapshots/SnapshotSummaryScanner.h
  src/Snapshots/SnapshotSummaryScanner.cpp
  src/Snapshots/SnapshotFolderLock.h
  src/Snapshots/SnapshotFolderLock.cpp
  src/Snapshots/SnapshotStore.h
  src/Snapshots/SnapshotStore.cpp
)
list(APPEND ZEN_SOURCES
  src/Snapshots/SnapshotCaptureService.h
  src/Snapshots/SnapshotCaptureService.cpp
)
