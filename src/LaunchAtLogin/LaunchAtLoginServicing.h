#pragma once

#include "Shared/UserFacingError.h"

#include <expected>

namespace zen {

// Where the login-item registration of this program stands.
enum class LaunchAtLoginServiceStatus { enabled, notRegistered, requiresApproval, notFound };

// The desktop's login-item service for this program.
class LaunchAtLoginServicing {
public:
    virtual ~LaunchAtLoginServicing() = default;
    // Read afresh at every call.
    virtual LaunchAtLoginServiceStatus status() const = 0;
    virtual std::expected<void, PlatformError> registerItem() = 0;
    virtual std::expected<void, PlatformError> unregisterItem() = 0;
    // Shows where the desktop keeps its login items.
    virtual void openLoginItemsSettings() = 0;
};

} // namespace zen
