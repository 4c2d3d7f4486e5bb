# Sources of src/Onboarding (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
