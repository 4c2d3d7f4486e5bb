#pragma once

#include "Shared/DesktopWords.h"

#include <QString>

namespace zen {

// Names the onboarding window shares with its controller and the application shell.
namespace OnboardingWindowSupport {
inline QString welcomeTitle() { return QStringLiteral("Welcome to Zentharion"); }
inline QString accessibilityRequiredTitle() { return QStringLiteral("Zentharion - %1 Required").arg(DesktopWords::windowAccess); }
} // namespace OnboardingWindowSupport

} // namespace zen
