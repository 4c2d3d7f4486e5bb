# Sources of src/WindowDiscovery (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/WindowDiscovery/WindowDiscoveryDiagnostic.h
)
