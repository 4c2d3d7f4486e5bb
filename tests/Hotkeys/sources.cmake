# Unit tests of src/Hotkeys.
list(APPEND ZEN_TEST_SOURCES
  tests/Hotkeys/HotkeyBindingValidatorTest.cpp
  tests/Hotkeys/HotkeyCapturePromptTest.cpp
  tests/Hotkeys/HotkeyManagerTest.cpp
  tests/Hotkeys/HotkeyTextTest.cpp
  tests/Hotkeys/KeyCodeTranslationTest.cpp
)
