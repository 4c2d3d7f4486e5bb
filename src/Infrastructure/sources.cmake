# Sources of src/Infrastructure (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
