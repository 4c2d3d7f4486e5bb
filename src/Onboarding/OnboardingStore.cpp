#include "Onboarding/OnboardingStore.h"

#include "Shared/UserDefaults.h"

namespace zen {

QString onboardingStatusRawValue(OnboardingStatus status)
{
    switch (status) {
    case OnboardingStatus::deferred:
        return QStringLiteral("deferred");
    case OnboardingStatus::completedAuthorized:
        return QStringLiteral("completedAuthorized");
    }
    return {};
}

std::optional<OnboardingStatus> onboardingStatusFromRawValue(const QString& text)
{
    for (auto status : {OnboardingStatus::deferred, OnboardingStatus::completedAuthorized})
        if (text == onboardingStatusRawValue(status))
            return status;
    return std::nullopt;
}

OnboardingStore::OnboardingStore(UserDefaults& userDefaults)
    : readStatus([&userDefaults]() -> std::optional<OnboardingStatus> {
          const auto stored = userDefaults.stringForKey(QString::fromLatin1(statusKey));
          return stored ? onboardingStatusFromRawValue(*stored) : std::nullopt;
      })
    , writeStatus([&userDefaults](OnboardingStatus status) {
          userDefaults.setString(QString::fromLatin1(statusKey), onboardingStatusRawValue(status));
      })
{
}

} // namespace zen
