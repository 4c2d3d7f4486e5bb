# Sources of src/Onboarding (paths relative to the project root).
list(APPEND ZEN_SOURCES
  src/Onboarding/OnboardingStrings.h
  src/Onboarding/OnboardingPermissionEducationView.h
  src/Onboarding/OnboardingPermissionEducationView.cpp
  src/Onboarding/SymbolImage.h
  src/Onboarding/SymbolImage.cpp
  src/Onboarding/TextStyle.h
  src/Onboarding/TextStyle.cpp
)
list(APPEND ZEN_SOURCES
  src/Onboarding/OnboardingStore.h
  src/Onboarding/OnboardingStore.cpp
  src/Onboarding/OnboardingWindowSupport.h
  src/Onboarding/OnboardingController.h
  src/Onboarding/OnboardingController.cpp
  src/Onboarding/OnboardingStepViews.h
  src/Onboarding/OnboardingStepViews.cpp
  src/Onboarding/OnboardingContainerView.h
  src/Onboarding/OnboardingContainerView.cpp
)
