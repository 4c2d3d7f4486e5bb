#pragma once

#include "Platform/AccessibilityService.h"
#include "Platform/Workspace.h"
#include "Restore/RestoreWindowApplying.h"

#include <memory>

namespace zen {

namespace RestoreDowngradeReason {
inline const QString fullscreenRestoredAsStandardWindow = QStringLiteral("fullscreen restored as standard window");
} // namespace RestoreDowngradeReason

// Places windows through the element-and-attribute layer (backed here by our X11 layer: EWMH
// move/resize, un-minimize, restack and activate requests).
class AXRestoreWindowApplier final : public RestoreWindowApplying {
public:
    explicit AXRestoreWindowApplier(std::shared_ptr<AccessibilityService> accessibility);

    // Un-minimizes (only when the live window is minimized), then writes position, then size;
    // the first failing write ends with "restore failed". A target with a non-finite
    // coordinate is refused before anything is written.
    RestoreWindowApplyResult apply(const WindowRecord& savedWindow, const CGRect& targetFrame,
                                   const DiscoveredWindow& liveWindow) const override;
    bool raise(const DiscoveredWindow& liveWindow) const override;
    RestoreWindowFocusResult focus(const DiscoveredWindow& liveWindow) const override;
    // All placements as one batch of writes; each window's result as `apply` gives it.
    std::vector<RestoreWindowApplyResult> applyAll(const std::vector<RestoreWindowPlacement>& placements) const override;
    void raiseAll(const std::vector<const DiscoveredWindow*>& windows) const override;

private:
    std::shared_ptr<AccessibilityService> m_accessibility;
};

// Launches by desktop entry id through the workspace layer (GIO here).
class NSWorkspaceRestoreApplicationLauncher final : public RestoreApplicationLaunching {
public:
    explicit NSWorkspaceRestoreApplicationLauncher(std::shared_ptr<Workspace> workspace) : m_workspace(std::move(workspace)) {}
    bool requestLaunch(const QString& bundleIdentifier) const override;

private:
    std::shared_ptr<Workspace> m_workspace;
};

// Activates a process's front-most window through the workspace layer (_NET_ACTIVE_WINDOW here).
class NSWorkspaceRestoreApplicationActivator final : public RestoreApplicationActivating {
public:
    explicit NSWorkspaceRestoreApplicationActivator(std::shared_ptr<Workspace> workspace) : m_workspace(std::move(workspace)) {}
    bool activate(std::int32_t processIdentifier) const override;

private:
    std::shared_ptr<Workspace> m_workspace;
};

} // namespace zen
