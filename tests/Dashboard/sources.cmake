# Unit tests of src/Dashboard.
list(APPEND ZEN_TEST_SOURCES
)
