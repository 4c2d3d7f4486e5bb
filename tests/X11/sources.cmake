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
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/X11HostileClientTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/DashboardPreviewDragLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/OnboardingLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/DashboardLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/TrayMenuLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/ShortcutWordsLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/SettingsWindowLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/SecondLaunchLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/NamePromptKeyboardLiveTest.cpp)

# The program with its update feed on 127.0.0.1 at a port of this build tree's own, so that
# test runs of several build trees do not meet.
string(MD5 ZEN_BUILD_HASH "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${ZEN_BUILD_HASH}" 0 4 ZEN_BUILD_HASH)
math(EXPR ZEN_LOCAL_FEED_PORT "0x${ZEN_BUILD_HASH} % 20000 + 30000")
add_executable(zentharion_local_feed src/main.cpp tests/X11/LocalFeedProgram.cpp)
target_link_libraries(zentharion_local_feed PRIVATE zentharion_core)
target_compile_definitions(zentharion_local_feed PRIVATE ZEN_LOCAL_FEED_PORT="${ZEN_LOCAL_FEED_PORT}")
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/UpdateLiveTest.cpp)
set_source_files_properties(tests/X11/UpdateLiveTest.cpp PROPERTIES
  COMPILE_DEFINITIONS ZEN_LOCAL_FEED_PORT=${ZEN_LOCAL_FEED_PORT})
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/WindowPlacementLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/DBusTrayLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/ProgramStartLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/SaveMemoryLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/ProgramEndingLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/DashboardLayoutSwitchLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/NamePromptSoakLiveTest.cpp)
list(APPEND ZEN_X11_TEST_SOURCES tests/X11/CoveredNamePromptLiveTest.cpp)
