# Live tests against a real X server (run under scripts/with-xvfb).
list(APPEND ZEN_X11_TEST_SOURCES
)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/HotkeyGrabTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/HotkeyCaptureLiveTest.cpp)
