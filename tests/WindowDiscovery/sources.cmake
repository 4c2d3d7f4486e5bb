# Unit tests of src/WindowDiscovery.
list(APPEND ZEN_TEST_SOURCES
)
