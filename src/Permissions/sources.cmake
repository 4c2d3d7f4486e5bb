# Sources of src/Permissions (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Permissions/AccessibilityTrustChecker.h
  src/Permissions/AccessibilityTrustChecker.cpp
)
