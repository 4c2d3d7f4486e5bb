# Sources of src/Displays (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
