#include "Permissions/AccessibilityTrustChecker.h"

#include "Platform/PlatformServices.h"

namespace zen {

AccessibilityTrustChecker::AccessibilityTrustChecker()
    : trustCheck([] {
          auto services = defaultPlatformServices();
          return services.accessibility && services.accessibility->isProcessTrusted();
      })
{
}

} // namespace zen
