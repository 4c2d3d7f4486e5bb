# Unit tests of src/Platform/Linux.
list(APPEND ZEN_TEST_SOURCES
  tests/Platform/Linux/MainAppLaunchAtLoginServiceTest.cpp
  tests/Platform/Linux/DesktopServicesTest.cpp
)
