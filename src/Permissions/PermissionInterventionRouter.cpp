#include "Permissions/PermissionInterventionRouter.h"

#include "Permissions/PermissionCoordinator.h"

namespace zen {

PassivePermissionNotice PermissionInterventionRouter::passivePermissionNotice()
{
    return {QStringLiteral("Window access is required to restore layouts. Open Zentharion to enable access."), 6.0};
}

DashboardWindowVisibility dashboardWindowVisibilityFrom(bool isVisible, bool isMiniaturized, bool isOnActiveSpace)
{
    return isVisible && !isMiniaturized && isOnActiveSpace ? DashboardWindowVisibility::visibleOnActiveSpace
                                                           : DashboardWindowVisibility::notVisible;
}

PermissionInterventionRouter::PermissionInterventionRouter(std::shared_ptr<PermissionCoordinator> permissionCoordinator,
                                                           std::weak_ptr<StatusNoticePresenting> statusNoticePresenter,
                                                           QObject* parent)
    : QObject(parent)
    , m_permissionCoordinator(std::move(permissionCoordinator))
    , m_statusNoticePresenter(std::move(statusNoticePresenter))
{
}

bool PermissionInterventionRouter::requestAuthorization(PrivilegedActionKind, PrivilegedActionSource source)
{
    // Without a coordinator nothing can vouch for access: treat it as missing.
    const AccessibilityAuthorizationState state =
        m_permissionCoordinator
            ? m_permissionCoordinator->refreshTrust(PermissionCoordinator::RefreshTrigger::privilegedAction)
            : AccessibilityAuthorizationState::unauthorized;

    if (state == AccessibilityAuthorizationState::authorized) {
        setShowsDashboardPermissionEducation(false);
        clearPassivePermissionNotice();
        return true;
    }

    switch (source) {
    case PrivilegedActionSource::dashboard:
        setShowsDashboardPermissionEducation(true);
        clearPassivePermissionNotice();
        break;
    case PrivilegedActionSource::displayChange:
    case PrivilegedActionSource::hotkey:
        showPassivePermissionNoticeIfNeeded();
        break;
    case PrivilegedActionSource::menuBar:
        // The menu opens the onboarding window at its permission step itself.
        setShowsDashboardPermissionEducation(false);
        clearPassivePermissionNotice();
        break;
    case PrivilegedActionSource::settings:
        if (m_permissionCoordinator)
            m_permissionCoordinator->openAccessibilitySettings();
        break;
    }
    return false;
}

void PermissionInterventionRouter::showPassivePermissionNoticeIfNeeded()
{
    // The user is already looking at the education panel; a notice on top would only repeat it.
    if (m_showsDashboardPermissionEducation
        && m_dashboardWindowVisibility == DashboardWindowVisibility::visibleOnActiveSpace) {
        clearPassivePermissionNotice();
        return;
    }
    const PassivePermissionNotice notice = passivePermissionNotice();
    setLastPassivePermissionNotice(notice);
    // Shown again on every request: the presenter replaces the notice on screen.
    if (const auto presenter = m_statusNoticePresenter.lock())
        presenter->showStatusNotice(notice.message, notice.duration);
}

void PermissionInterventionRouter::clearPassivePermissionNotice()
{
    // Only our own notice is hidden; one shown by anybody else is left alone.
    if (!m_lastPassivePermissionNotice)
        return;
    setLastPassivePermissionNotice(std::nullopt);
    if (const auto presenter = m_statusNoticePresenter.lock())
        presenter->hideStatusNotice();
}

void PermissionInterventionRouter::setShowsDashboardPermissionEducation(bool shows)
{
    if (m_showsDashboardPermissionEducation == shows)
        return;
    m_showsDashboardPermissionEducation = shows;
    Q_EMIT showsDashboardPermissionEducationChanged(shows);
}

void PermissionInterventionRouter::setDashboardWindowVisibility(DashboardWindowVisibility visibility)
{
    if (m_dashboardWindowVisibility == visibility)
        return;
    m_dashboardWindowVisibility = visibility;
    Q_EMIT dashboardWindowVisibilityChanged(visibility);
}

void PermissionInterventionRouter::setLastPassivePermissionNotice(std::optional<PassivePermissionNotice> notice)
{
    if (m_lastPassivePermissionNotice == notice)
        return;
    m_lastPassivePermissionNotice = std::move(notice);
    Q_EMIT lastPassivePermissionNoticeChanged();
}

} // namespace zen
