#include "Restore/AXRestoreWindowApplier.h"

#include "Restore/RestoreSkipReason.h"

#include <QUuid>

#include <cmath>

namespace zen {

namespace {

bool isFinite(const CGRect& r)
{
    return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width)
        && std::isfinite(r.size.height);
}

} // namespace

AXRestoreWindowApplier::AXRestoreWindowApplier(std::shared_ptr<AccessibilityService> accessibility)
    : m_accessibility(std::move(accessibility))
{
}

RestoreWindowApplyResult AXRestoreWindowApplier::apply(const WindowRecord& savedWindow, const CGRect& targetFrame,
                                                       const DiscoveredWindow& liveWindow) const
{
    // A layout file may hold any number; a value that can't describe a place is as
    // unwritable as a refused write.
    if (!m_accessibility || !isFinite(targetFrame))
        return RestoreWindowApplyResult::failed(RestoreSkipReason::restoreFailed);
    const AXUIElement& element = liveWindow.axElement;
    if (liveWindow.isMinimized && !m_accessibility->setAttributeValue(element, AXAttribute::minimized, AXAttributeValue(false)))
        return RestoreWindowApplyResult::failed(RestoreSkipReason::restoreFailed);
    // Position before size; the X11 layer sends both in one request.
    if (!m_accessibility->setFrame(element, targetFrame))
        return RestoreWindowApplyResult::failed(RestoreSkipReason::restoreFailed);
    if (savedWindow.isFullscreen) {
        return RestoreWindowApplyResult::restored(RestoreDowngrade {QUuid::createUuid(), savedWindow.bundleIdentifier,
                                                                    savedWindow.windowTitle,
                                                                    RestoreDowngradeReason::fullscreenRestoredAsStandardWindow});
    }
    return RestoreWindowApplyResult::restored();
}

bool AXRestoreWindowApplier::raise(const DiscoveredWindow& liveWindow) const
{
    return m_accessibility && m_accessibility->performAction(liveWindow.axElement, AXAction::raise);
}

RestoreWindowFocusResult AXRestoreWindowApplier::focus(const DiscoveredWindow& liveWindow) const
{
    if (!m_accessibility)
        return {};
    RestoreWindowFocusResult result;
    result.didRaise = m_accessibility->performAction(liveWindow.axElement, AXAction::raise);
    result.didSetMain = m_accessibility->setAttributeValue(liveWindow.axElement, AXAttribute::main, AXAttributeValue(true));
    result.didSetFocused = m_accessibility->setAttributeValue(liveWindow.axElement, AXAttribute::focused, AXAttributeValue(true));
    return result;
}

bool NSWorkspaceRestoreApplicationLauncher::requestLaunch(const QString& bundleIdentifier) const
{
    return m_workspace && m_workspace->launchApplication(bundleIdentifier);
}

bool NSWorkspaceRestoreApplicationActivator::activate(std::int32_t processIdentifier) const
{
    return m_workspace && m_workspace->activateApplication(processIdentifier);
}

} // namespace zen
