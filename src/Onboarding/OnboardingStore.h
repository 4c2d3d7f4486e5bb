#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace zen {

class UserDefaults;

// How the last run of the onboarding flow ended.
enum class OnboardingStatus { deferred, completedAuthorized };

QString onboardingStatusRawValue(OnboardingStatus status);
// Exact, case-sensitive match of a whole stored text; anything else is no status.
std::optional<OnboardingStatus> onboardingStatusFromRawValue(const QString& text);

// The one onboarding fact that survives a restart. Two closures, so the flow can run on
// recorded data in tests.
struct OnboardingStore {
    static constexpr const char* statusKey = "Zentharion.Onboarding.status";

    std::function<std::optional<OnboardingStatus>()> readStatus;
    std::function<void(OnboardingStatus)> writeStatus;

    // Bound to the given preferences, which must outlive the store.
    explicit OnboardingStore(UserDefaults& userDefaults);
    OnboardingStore(std::function<std::optional<OnboardingStatus>()> read, std::function<void(OnboardingStatus)> write)
        : readStatus(std::move(read)), writeStatus(std::move(write))
    {
    }
};

} // namespace zen
