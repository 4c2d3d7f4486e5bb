# Unit tests of src/WindowDiscovery.
list(APPEND ZEN_TEST_SOURCES
  tests/WindowDiscovery/WindowDiscoveryEngineTest.cpp
  tests/WindowDiscovery/CGWindowMetadataReaderTest.cpp
)
