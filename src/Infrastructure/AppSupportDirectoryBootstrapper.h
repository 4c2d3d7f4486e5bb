#pragma once

#include "Shared/UserFacingError.h"

#include <QString>

#include <expected>
#include <optional>

namespace zen {

// The program's data folders under the XDG data home: Zentharion/, its Snapshots/ (the
// layout files) and its Logs/ (the diagnostic event log).
class AppSupportDirectoryBootstrapper {
public:
    enum class BootstrapError { applicationSupportUnavailable };

    // Resolves the folders under `dataHome`, by default the user's XDG data home; creates
    // nothing. Fails when no data home can be determined.
    static std::expected<AppSupportDirectoryBootstrapper, BootstrapError>
    make(std::optional<QString> dataHome = std::nullopt);

    // Creates the three folders in order; existing folders are fine. The first failure stops
    // the sequence and is passed on as the system reported it.
    std::expected<void, PlatformError> prepare() const;

    // Folder paths, each ending in "/".
    QString rootURL() const { return m_rootURL; }
    QString snapshotsURL() const { return m_snapshotsURL; }
    QString logsURL() const { return m_logsURL; }

private:
    AppSupportDirectoryBootstrapper() = default;

    QString m_rootURL;
    QString m_snapshotsURL;
    QString m_logsURL;
};

// The user-facing message of a bootstrap error and its printed form.
struct BootstrapErrorDescription {
    AppSupportDirectoryBootstrapper::BootstrapError error;
    QString localizedDescription() const;
    QString ownDescription() const;
};

QString userFacingDescription(AppSupportDirectoryBootstrapper::BootstrapError error);

} // namespace zen
