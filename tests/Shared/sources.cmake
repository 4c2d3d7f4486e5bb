# Unit tests of src/Shared.
list(APPEND ZEN_TEST_SOURCES
  tests/Shared/GeometryTest.cpp
  tests/Shared/UuidTest.cpp
  tests/Shared/InternetDateTimeTest.cpp
  tests/Shared/TextHelpersTest.cpp
  tests/Shared/AtomicFileWriterTest.cpp
  tests/Shared/UserDefaultsTest.cpp
  tests/Shared/LockFileEntryTest.cpp
)
