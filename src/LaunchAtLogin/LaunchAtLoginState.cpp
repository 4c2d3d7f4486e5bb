#include "LaunchAtLogin/LaunchAtLoginState.h"

#include "Shared/DesktopWords.h"

namespace zen {

QString LaunchAtLoginState::requiresApprovalMessage()
{
    return QStringLiteral("Allow Zentharion in %1 to finish enabling launch at login.").arg(DesktopWords::autostart);
}

QString LaunchAtLoginState::unavailableMessage()
{
    return QStringLiteral("Install a working copy of Zentharion on %1 to use launch at login.")
        .arg(DesktopWords::thisComputer);
}

LaunchAtLoginState LaunchAtLoginState::requiringApproval()
{
    return {false, requiresApprovalMessage(), true, false};
}

LaunchAtLoginState LaunchAtLoginState::unavailable()
{
    return {false, unavailableMessage(), false, true};
}

LaunchAtLoginState LaunchAtLoginState::forStatus(LaunchAtLoginServiceStatus status)
{
    switch (status) {
    case LaunchAtLoginServiceStatus::enabled:
        return enabled();
    case LaunchAtLoginServiceStatus::notRegistered:
        return disabled();
    case LaunchAtLoginServiceStatus::requiresApproval:
        return requiringApproval();
    case LaunchAtLoginServiceStatus::notFound:
        break;
    }
    return unavailable();
}

bool LaunchAtLoginState::canToggle() const
{
    if (requiresApproval)
        return false;
    if (isEnabled || !message)
        return true;
    if (*message == unavailableMessage())
        return !isError;
    return true;
}

LaunchAtLoginState LaunchAtLoginState::statusComparisonState() const
{
    if (!isError)
        return *this;
    if (isEnabled)
        return enabled();
    if (message == unavailableMessage() && !requiresApproval)
        return unavailable();
    return disabled();
}

} // namespace zen
