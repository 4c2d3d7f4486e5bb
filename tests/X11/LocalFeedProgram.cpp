// The program's desktop bindings with the update feed on a local test server: the live update
// test starts a copy of the program built with it.
#define ZENTHARION_UPDATE_FEED_URL "http://127.0.0.1:" ZEN_LOCAL_FEED_PORT "/feed.json"
#include "App/LiveAppDependencies.cpp"
