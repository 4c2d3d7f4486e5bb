# Unit tests of src/Snapshots.
list(APPEND ZEN_TEST_SOURCES
  tests/Snapshots/SnapshotModelTest.cpp
  tests/Snapshots/SnapshotCodingTest.cpp
  tests/Snapshots/SnapshotStoreTest.cpp
  tests/Snapshots/SnapshotEditsTest.cpp
  tests/Snapshots/SnapshotFolderLockTest.cpp
  tests/Snapshots/SnapshotSummaryScannerTest.cpp
)
list(APPEND ZEN_TEST_SOURCES
  tests/Snapshots/SnapshotCaptureServiceTest.cpp
)
