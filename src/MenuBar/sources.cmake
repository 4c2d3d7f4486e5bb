# Sources of src/MenuBar (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
