# Unit tests of src/MenuBar.
list(APPEND ZEN_TEST_SOURCES
  tests/MenuBar/OperationOverlayPresenterTest.cpp
  tests/MenuBar/SnapshotNamePromptTest.cpp
)
list(APPEND ZEN_TEST_SOURCES
  tests/MenuBar/SnapshotMenuControllerTest.cpp
  tests/MenuBar/SnapshotMenuControllerListingTest.cpp
)
list(APPEND ZEN_TEST_SOURCES
  tests/MenuBar/OperationOverlayControllerTest.cpp
  tests/MenuBar/OverlayPanelViewsTest.cpp
  tests/MenuBar/OperationSchedulerTest.cpp
)
