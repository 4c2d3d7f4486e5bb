# Unit tests of src/Snapshots.
list(APPEND ZEN_TEST_SOURCES
)
