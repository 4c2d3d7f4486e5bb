# Sources of src/Shared (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Shared/FreeMemory.h
  src/Shared/FreeMemory.cpp
  src/Shared/Geometry.h
  src/Shared/Uuid.h
  src/Shared/Uuid.cpp
  src/Shared/InternetDateTime.h
  src/Shared/InternetDateTime.cpp
  src/Shared/TextEquivalence.h
  src/Shared/TextEquivalence.cpp
  src/Shared/StringExtensions.h
  src/Shared/StringExtensions.cpp
  src/Shared/UserFacingError.h
  src/Shared/UserFacingError.cpp
  src/Shared/AtomicFileWriter.h
  src/Shared/AtomicFileWriter.cpp
  src/Shared/UserDefaults.h
  src/Shared/UserDefaults.cpp
  src/Shared/Directories.h
  src/Shared/Directories.cpp
  src/Shared/DesktopWords.h
  src/Shared/ApplicationIcon.h
  src/Shared/Utf8Sequence.h
  src/Shared/Utf8Sequence.cpp
  src/Shared/AnimationPolicy.h
  src/Shared/AnimationPolicy.cpp
)
