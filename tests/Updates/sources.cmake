# Unit tests of src/Updates.
list(APPEND ZEN_TEST_SOURCES
  tests/Updates/LocalFeedServer.h
  tests/Updates/AppUpdateControllerTest.cpp
  tests/Updates/UpdateFeedTest.cpp
  tests/Updates/UpdateFeedFetcherTest.cpp
  tests/Updates/FeedUpdaterTest.cpp
  tests/Updates/UpdateAlertTest.cpp
)
