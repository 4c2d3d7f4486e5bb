# Sources of src/Platform/Linux (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
