# Unit tests of src/Platform/Linux.
list(APPEND ZEN_TEST_SOURCES
)
