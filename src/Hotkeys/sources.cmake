# Sources of src/Hotkeys (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Hotkeys/HotkeyBindingValidator.h
  src/Hotkeys/HotkeyBindingValidator.cpp
  src/Hotkeys/HotkeyCapturePrompt.h
  src/Hotkeys/HotkeyCapturePrompt.cpp
  src/Hotkeys/HotkeyManager.h
  src/Hotkeys/HotkeyManager.cpp
  src/Hotkeys/HotkeyManagerError.h
  src/Hotkeys/HotkeyManagerError.cpp
  src/Hotkeys/HotkeyRegistering.h
  src/Hotkeys/HotkeyText.h
  src/Hotkeys/HotkeyText.cpp
  src/Hotkeys/KeyCodeTranslation.h
  src/Hotkeys/KeyCodeTranslation.cpp
)
