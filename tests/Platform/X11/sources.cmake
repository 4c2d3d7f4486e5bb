# Unit tests of src/Platform/X11.
list(APPEND ZEN_TEST_SOURCES
)
