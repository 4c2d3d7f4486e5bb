# Unit tests of src/Permissions.
list(APPEND ZEN_TEST_SOURCES
)
