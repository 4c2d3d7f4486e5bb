#include "Restore/RestoreEngine.h"

namespace zen {

namespace {
struct Localized {
    QString operator()(const RestoreEngineError& e) const { return e.localizedDescription(); }
    QString operator()(const SnapshotStoreError& e) const { return e.localizedDescription(); }
    QString operator()(const WindowDiscoveryError& e) const { return e.errorDescription(); }
};
struct Own {
    QString operator()(const RestoreEngineError& e) const { return e.ownDescription(); }
    QString operator()(const SnapshotStoreError& e) const { return e.ownDescription(); }
    QString operator()(const WindowDiscoveryError&) const
    {
        return QStringLiteral("WindowDiscoveryError.accessibilityPermissionDenied");
    }
};
} // namespace

QString RestoreEngineFailure::localizedDescription() const { return std::visit(Localized{}, m_error); }
QString RestoreEngineFailure::ownDescription() const { return std::visit(Own{}, m_error); }

std::expected<RestoreResult, RestoreEngineFailure> RestoreEngine::restoreSnapshot(const QUuid&) const
{
    return std::unexpected(RestoreEngineFailure(RestoreEngineError::accessibilityPermissionDenied));
}

} // namespace zen
