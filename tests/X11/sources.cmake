# Live tests against a real X server (run under scripts/with-xvfb).
list(APPEND ZEN_X11_TEST_SOURCES
  tests/X11/X11DiscoveryTest.cpp
  tests/X11/X11WindowWriteTest.cpp
)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/HotkeyGrabTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/HotkeyCaptureLiveTest.cpp)

# The client whose windows the live tests and benchmarks discover.
add_executable(zentharion_test_client tests/X11/client/TestClient.cpp)
target_link_libraries(zentharion_test_client PRIVATE PkgConfig::XCB)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/RestoreEndToEndTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/AppLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/OverlayLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/ProgramFeedbackLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/DashboardDetailFacesLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/DashboardHotkeyCaptureLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/DashboardPreviewDragLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/OnboardingLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/DashboardLiveTest.cpp)
