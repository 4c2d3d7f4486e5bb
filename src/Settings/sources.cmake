# Sources of src/Settings (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
