# Sources of src/App (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
