# Sources of src/Updates (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
list(APPEND ZEN_SOURCES
  src/Updates/AppUpdateController.h
  src/Updates/AppUpdateController.cpp
)
