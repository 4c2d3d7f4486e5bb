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
# The default settings opener shows docs/access.html; a build run from its tree finds it here.
get_filename_component(ZEN_PERMISSIONS_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set_property(SOURCE src/Permissions/PermissionCoordinator.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS "ZENTHARION_SOURCE_DIR=\"${ZEN_PERMISSIONS_SOURCE_ROOT}\"")
