# Unit tests of src/Platform/X11.
list(APPEND ZEN_TEST_SOURCES
  tests/Platform/X11/X11PropertyTextTest.cpp
)
