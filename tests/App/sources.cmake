# Unit tests of src/App.
list(APPEND ZEN_TEST_SOURCES
)
