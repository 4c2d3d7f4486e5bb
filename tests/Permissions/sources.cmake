# Unit tests of src/Permissions.
list(APPEND ZEN_TEST_SOURCES
)
list(APPEND ZEN_TEST_SOURCES
  tests/Permissions/PermissionCoordinatorTest.cpp
  tests/Permissions/PermissionInterventionRouterTest.cpp
)
