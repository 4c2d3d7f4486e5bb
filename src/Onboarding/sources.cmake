# Sources of src/Onboarding (paths relative to the project root).
list(APPEND ZEN_SOURCES
)
list(APPEND ZEN_SOURCES
  src/Onboarding/OnboardingStore.h
  src/Onboarding/OnboardingStore.cpp
  src/Onboarding/OnboardingWindowSupport.h
  src/Onboarding/OnboardingController.h
  src/Onboarding/OnboardingController.cpp
)
