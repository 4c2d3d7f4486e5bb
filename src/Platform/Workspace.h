#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace zen {

enum class ActivationPolicy { regular, accessory, prohibited };

// One running application as the workspace reports it.
struct RunningApplication {
    std::optional<QString> bundleIdentifier;
    std::int32_t processIdentifier = 0;
    std::optional<QString> localizedName;
    bool isTerminated = false;
    ActivationPolicy activationPolicy = ActivationPolicy::regular;
};

// Running applications, launching and activation.
class Workspace {
public:
    virtual ~Workspace() = default;
    virtual std::vector<RunningApplication> runningApplications() = 0;
    // True when a launch was requested (not when the application has started).
    virtual bool launchApplication(const QString& bundleIdentifier) = 0;
    // Brings the process's front-most window to the front; false when it has none or exited.
    virtual bool activateApplication(std::int32_t processIdentifier) = 0;
};

} // namespace zen
