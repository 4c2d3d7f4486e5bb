#include "Infrastructure/AppSupportDirectoryBootstrapper.h"

#include "Shared/Directories.h"

#include <QDir>
#include <QStandardPaths>

namespace zen {

std::expected<AppSupportDirectoryBootstrapper, AppSupportDirectoryBootstrapper::BootstrapError>
AppSupportDirectoryBootstrapper::make(std::optional<QString> dataHome)
{
    const QString base = dataHome ? *dataHome
                                  : QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return std::unexpected(BootstrapError::applicationSupportUnavailable);
    AppSupportDirectoryBootstrapper b;
    b.m_rootURL = QDir(base).filePath(QStringLiteral("Zentharion")) + u'/';
    b.m_snapshotsURL = b.m_rootURL + QStringLiteral("Snapshots/");
    b.m_logsURL = b.m_rootURL + QStringLiteral("Logs/");
    return b;
}

std::expected<void, PlatformError> AppSupportDirectoryBootstrapper::prepare() const
{
    for (const QString& folder : {m_rootURL, m_snapshotsURL, m_logsURL}) {
        if (auto made = createDirectories(folder); !made)
            return made;
    }
    return {};
}

QString BootstrapErrorDescription::localizedDescription() const
{
    return QStringLiteral("Application Support directory could not be resolved.");
}

QString BootstrapErrorDescription::ownDescription() const
{
    return QStringLiteral("BootstrapError.applicationSupportUnavailable");
}

QString userFacingDescription(AppSupportDirectoryBootstrapper::BootstrapError error)
{
    return userFacingDescription(BootstrapErrorDescription{error});
}

} // namespace zen
