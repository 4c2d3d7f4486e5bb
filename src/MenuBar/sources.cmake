# Sources of src/MenuBar (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/MenuBar/OperationOverlayPresenting.h
  src/MenuBar/OperationOverlayPresenting.cpp
  src/MenuBar/SnapshotNamePrompt.h
  src/MenuBar/SnapshotNamePrompt.cpp
)
list(APPEND ZEN_SOURCES
  src/MenuBar/MenuText.h
  src/MenuBar/MenuText.cpp
  src/MenuBar/OperationScheduler.h
  src/MenuBar/OperationScheduler.cpp
  src/MenuBar/SnapshotMenuController.h
  src/MenuBar/SnapshotMenuController.cpp
)
