# Unit tests of src/Onboarding.
list(APPEND ZEN_TEST_SOURCES
  tests/Onboarding/OnboardingPermissionEducationViewTest.cpp
)
list(APPEND ZEN_TEST_SOURCES
  tests/Onboarding/OnboardingControllerTest.cpp
  tests/Onboarding/OnboardingWindowTest.cpp
)
