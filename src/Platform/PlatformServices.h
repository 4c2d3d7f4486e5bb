#pragma once

#include "Platform/AccessibilityService.h"
#include "Platform/ScreenSource.h"
#include "Platform/WindowServer.h"
#include "Platform/Workspace.h"

#include <memory>

namespace zen {

// The platform services the engine is built over. Logic takes them at construction; the
// default set is the live desktop.
struct PlatformServices {
    std::shared_ptr<AccessibilityService> accessibility;
    std::shared_ptr<WindowServer> windowServer;
    std::shared_ptr<Workspace> workspace;
    std::shared_ptr<ScreenSource> screens;
};

// The process-wide live services (one X11 connection of their own, opened on first use).
// Without a usable X server every service answers untrusted, empty or false.
PlatformServices defaultPlatformServices();

} // namespace zen
