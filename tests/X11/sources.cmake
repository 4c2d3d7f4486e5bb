# Live tests against a real X server (run under scripts/with-xvfb).
list(APPEND ZEN_X11_TEST_SOURCES
)
