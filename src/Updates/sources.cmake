# Sources of src/Updates (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Updates/AppUpdater.h
  src/Updates/AppUpdateController.h
  src/Updates/AppUpdateController.cpp
  src/Updates/UpdateFeed.h
  src/Updates/UpdateFeed.cpp
  src/Updates/UpdateFeedFetcher.h
  src/Updates/UpdateFeedFetcher.cpp
  src/Updates/UpdateUserDriver.h
  src/Updates/FeedUpdater.h
  src/Updates/FeedUpdater.cpp
  src/Updates/UpdateAlert.h
  src/Updates/UpdateAlert.cpp
)
