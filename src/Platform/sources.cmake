# Sources of src/Platform (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
