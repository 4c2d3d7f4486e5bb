# Unit tests of src/LaunchAtLogin.
list(APPEND ZEN_TEST_SOURCES
  tests/LaunchAtLogin/LaunchAtLoginControllerTest.cpp
)
