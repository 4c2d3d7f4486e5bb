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
    return applyAll({RestoreWindowPlacement {&savedWindow, targetFrame, &liveWindow}}).front();
}

std::vector<RestoreWindowApplyResult> AXRestoreWindowApplier::applyAll(const std::vector<RestoreWindowPlacement>& placements) const
{
    std::vector<RestoreWindowApplyResult> results(placements.size(), RestoreWindowApplyResult::failed(RestoreSkipReason::restoreFailed));
    if (!m_accessibility)
        return results;
    // A layout file may hold any number; a value that can't describe a place is as
    // unwritable as a refused write, and is not sent.
    std::vector<AXFramePlacement> writes;
    std::vector<std::size_t> sent;
    for (std::size_t i = 0; i < placements.size(); ++i) {
        const RestoreWindowPlacement& p = placements[i];
        if (!isFinite(p.targetFrame))
            continue;
        // Un-minimized only when the live window is minimized; position and size then go
        // together (the X11 layer sends them in one request).
        writes.push_back(AXFramePlacement {p.liveWindow->axElement, p.targetFrame, p.liveWindow->isMinimized});
        sent.push_back(i);
    }
    const std::vector<bool> written = m_accessibility->setFrames(writes);
    for (std::size_t k = 0; k < sent.size(); ++k) {
        if (k >= written.size() || !written[k])
            continue;
        const WindowRecord& saved = *placements[sent[k]].savedWindow;
        results[sent[k]] = saved.isFullscreen
            ? RestoreWindowApplyResult::restored(RestoreDowngrade {QUuid::createUuid(), saved.bundleIdentifier, saved.windowTitle,
                                                                   RestoreDowngradeReason::fullscreenRestoredAsStandardWindow})
            : RestoreWindowApplyResult::restored();
    }
    return results;
}

void AXRestoreWindowApplier::raiseAll(const std::vector<const DiscoveredWindow*>& windows) const
{
    if (!m_accessibility)
        return;
    std::vector<AXUIElement> elements;
    elements.reserve(windows.size());
    for (const DiscoveredWindow* w : windows)
        elements.push_back(w->axElement);
    m_accessibility->performActions(elements, AXAction::raise);
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
