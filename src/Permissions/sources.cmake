# Sources of src/Permissions (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Permissions/AccessibilityTrustChecker.h
  src/Permissions/AccessibilityTrustChecker.cpp
)
list(APPEND ZEN_SOURCES
  src/Permissions/PermissionCoordinator.h
  src/Permissions/PermissionCoordinator.cpp
  src/Permissions/StatusNoticePresenting.h
  src/Permissions/PermissionInterventionRouter.h
  src/Permissions/PermissionInterventionRouter.cpp
)
