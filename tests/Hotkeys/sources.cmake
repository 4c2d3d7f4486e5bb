# Unit tests of src/Hotkeys.
list(APPEND ZEN_TEST_SOURCES
)
