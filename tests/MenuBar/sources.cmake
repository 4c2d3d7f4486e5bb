# Unit tests of src/MenuBar.
list(APPEND ZEN_TEST_SOURCES
)
