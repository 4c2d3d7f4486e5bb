#include "Hotkeys/HotkeyManagerError.h"

#include "Shared/DesktopWords.h"

namespace zen {

HotkeyManagerError HotkeyManagerError::invalidBinding(QString snapshotName)
{
    HotkeyManagerError error(Kind::invalidBinding);
    error.m_snapshotName = std::move(snapshotName);
    return error;
}

HotkeyManagerError HotkeyManagerError::duplicateBinding(QString snapshotName)
{
    HotkeyManagerError error(Kind::duplicateBinding);
    error.m_snapshotName = std::move(snapshotName);
    return error;
}

HotkeyManagerError HotkeyManagerError::eventHandlerInstallFailed(std::int32_t status)
{
    HotkeyManagerError error(Kind::eventHandlerInstallFailed);
    error.m_status = status;
    return error;
}

HotkeyManagerError HotkeyManagerError::registrationFailed(QString snapshotName, std::int32_t status)
{
    HotkeyManagerError error(Kind::registrationFailed);
    error.m_snapshotName = std::move(snapshotName);
    error.m_status = status;
    return error;
}

HotkeyManagerError HotkeyManagerError::registrationFailures(std::vector<HotkeyManagerError> failures)
{
    HotkeyManagerError error(Kind::registrationFailures);
    error.m_failures = std::move(failures);
    return error;
}

QString HotkeyManagerError::errorDescription() const
{
    switch (m_kind) {
    case Kind::invalidBinding:
        return QStringLiteral("\"%1\" has an invalid hotkey.").arg(m_snapshotName);
    case Kind::duplicateBinding:
        return QStringLiteral("\"%1\" already uses that hotkey.").arg(m_snapshotName);
    case Kind::eventHandlerInstallFailed:
        return QStringLiteral("Global hotkey handling could not be installed. %1 status: %2.")
            .arg(DesktopWords::keyGrabService, QString::number(m_status));
    case Kind::registrationFailed:
        // One pass over both values: a name containing "%2" must stay as typed.
        return QStringLiteral("\"%1\" hotkey could not be registered. %2 status: %3.")
            .arg(m_snapshotName, DesktopWords::keyGrabService, QString::number(m_status));
    case Kind::registrationFailures:
        if (m_failures.empty())
            return QStringLiteral("Some hotkeys could not be registered.");
        if (m_failures.size() == 1)
            return m_failures.front().errorDescription();
        return QStringLiteral("%1 %2 more hotkey(s) could not be registered.")
            .arg(m_failures.front().errorDescription(), QString::number(m_failures.size() - 1));
    }
    return {};
}

} // namespace zen
