# Sources of src/Updates (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
