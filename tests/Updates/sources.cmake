# Unit tests of src/Updates.
list(APPEND ZEN_TEST_SOURCES
)
