# Sources of src/Dashboard (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
