# Unit tests of src/Infrastructure.
list(APPEND ZEN_TEST_SOURCES
  tests/Infrastructure/InfrastructureTest.cpp
)
list(APPEND ZEN_TEST_SOURCES
  tests/Infrastructure/TelemetryLogEventTest.cpp
  tests/Infrastructure/TelemetryLoggerTest.cpp
  tests/Infrastructure/DiagnosticLogControllerTest.cpp
)
