# Sources of src/LaunchAtLogin (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
