# Sources of src/WindowDiscovery (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/WindowDiscovery/AXAttributeReader.h
  src/WindowDiscovery/AXAttributeReader.cpp
  src/WindowDiscovery/CGWindowMetadataReader.h
  src/WindowDiscovery/CGWindowMetadataReader.cpp
  src/WindowDiscovery/DiscoveredApplication.h
  src/WindowDiscovery/WindowDiscoveryDiagnostic.h
  src/WindowDiscovery/WindowDiscoveryEngine.h
  src/WindowDiscovery/WindowDiscoveryEngine.cpp
  src/WindowDiscovery/WindowSignatureFactory.h
  src/WindowDiscovery/WindowSignatureFactory.cpp
)
