# Fakes and builders shared by the test binaries.
list(APPEND ZEN_TEST_SUPPORT_SOURCES
  tests/Support/SnapshotFixtures.h
  tests/Support/SnapshotFixtures.cpp
  tests/Support/FakePlatform.h
  tests/Support/FakePlatform.cpp
  tests/Support/TestClientProcess.h
  tests/Support/TestClientProcess.cpp
  tests/Support/Recorders.h
  tests/Support/ManualScheduler.h
  tests/Support/AnimationSwitch.h
  tests/Support/LiveAppTest.h
  tests/Support/ProgramOnBusTest.h
  tests/Support/PrivateSessionBusTest.h
  tests/Support/ScopedVariable.h
  tests/Support/TestFiles.h
  tests/Support/TestFiles.cpp
  tests/Support/ImageChecks.h
  tests/Support/ImageChecks.cpp
  tests/Support/LiveDesktop.h
  tests/Support/LiveDesktop.cpp
)
