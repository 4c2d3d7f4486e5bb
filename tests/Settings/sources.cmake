# Unit tests of src/Settings.
list(APPEND ZEN_TEST_SOURCES
  tests/Settings/SettingsViewTest.cpp
  tests/Settings/SettingsSymbolsTest.cpp
)
list(APPEND ZEN_TEST_SOURCES
  tests/Settings/InstalledDesktopEntryTest.cpp
)
