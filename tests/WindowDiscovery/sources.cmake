# Unit tests of src/WindowDiscovery.
list(APPEND ZEN_TEST_SOURCES
  tests/WindowDiscovery/WindowDiscoveryEngineTest.cpp
  tests/WindowDiscovery/CGWindowMetadataReaderTest.cpp
)
# Live: discovery against a real X server.
list(APPEND ZEN_X11_TEST_SOURCES tests/WindowDiscovery/WindowListFloodLiveTest.cpp)
