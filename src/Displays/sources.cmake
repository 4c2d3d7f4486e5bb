# Sources of src/Displays (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Displays/DisplayResolver.h
  src/Displays/DisplayResolver.cpp
)
list(APPEND ZEN_SOURCES
  src/Displays/DisplayConfigurationMatcher.h
  src/Displays/DisplayConfigurationMatcher.cpp
)
list(APPEND ZEN_SOURCES
  src/Displays/DisplayRestoreSuggestionOption.h
  src/Displays/DisplayRestoreSuggestionPresenting.h
  src/Displays/ScreenParametersNotifier.h
  src/Displays/ScreenParametersNotifier.cpp
  src/Displays/DisplayChangeRestoreController.h
  src/Displays/DisplayChangeRestoreController.cpp
)
