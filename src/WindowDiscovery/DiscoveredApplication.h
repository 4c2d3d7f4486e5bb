#pragma once

#include "Platform/AXUIElement.h"
#include "Platform/Workspace.h"
#include "Shared/Geometry.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace zen {

// What discovery needs of one running application, taken wherever the list is read.
struct RunningApplicationSnapshot {
    std::optional<QString> bundleIdentifier;
    std::int32_t processIdentifier = 0;
    std::optional<QString> localizedName;
    bool isTerminated = false;
    ActivationPolicy activationPolicy = ActivationPolicy::regular;

    static RunningApplicationSnapshot fromApplication(const RunningApplication& app)
    {
        return {app.bundleIdentifier, app.processIdentifier, app.localizedName, app.isTerminated, app.activationPolicy};
    }
};

// A live window that could be saved or moved.
struct DiscoveredWindow {
    AXUIElement axElement;
    std::optional<QString> title;
    QString role;
    std::optional<QString> subrole;
    CGRect frame;
    bool isMinimized = false;
    bool isFullscreen = false;
    bool isMain = false;
    bool isVisible = false;
    std::optional<std::uint32_t> cgWindowID;
    std::optional<QString> ownerName;
    std::optional<std::int64_t> cgLayer;
    std::optional<std::int64_t> zOrderHint;
    std::optional<bool> isOnScreen;
};

struct DiscoveredApplication {
    QString bundleIdentifier;
    std::int32_t pid = 0;
    std::optional<QString> localizedName;
    std::vector<DiscoveredWindow> windows;
};

} // namespace zen
