# Sources of src/Permissions (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
