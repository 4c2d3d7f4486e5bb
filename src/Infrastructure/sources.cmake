# Sources of src/Infrastructure (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Infrastructure/AppSupportDirectoryBootstrapper.h
  src/Infrastructure/AppSupportDirectoryBootstrapper.cpp
  src/Infrastructure/AppLogger.h
  src/Infrastructure/AppLogger.cpp
  src/Infrastructure/ZentharionSettings.h
  src/Infrastructure/ZentharionSettings.cpp
)
list(APPEND ZEN_SOURCES
  src/Infrastructure/TelemetryLogEvent.h
  src/Infrastructure/TelemetryLogEvent.cpp
  src/Infrastructure/TelemetryLogger.h
  src/Infrastructure/TelemetryLogger.cpp
  src/Infrastructure/DiagnosticLogController.h
  src/Infrastructure/DiagnosticLogController.cpp
)
