# Unit tests of src/LaunchAtLogin.
list(APPEND ZEN_TEST_SOURCES
)
