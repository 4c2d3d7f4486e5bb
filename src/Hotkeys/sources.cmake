# Sources of src/Hotkeys (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
