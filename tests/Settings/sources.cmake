# Unit tests of src/Settings.
list(APPEND ZEN_TEST_SOURCES
  tests/Settings/SettingsViewTest.cpp
)
list(APPEND ZEN_TEST_SOURCES
  tests/Settings/InstalledDesktopEntryTest.cpp
)
