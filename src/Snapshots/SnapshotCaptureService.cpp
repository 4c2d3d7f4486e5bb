#include "Snapshots/SnapshotCaptureService.h"

namespace zen {

QString SnapshotCaptureServiceError::errorDescription() const
{
    switch (m_code) {
    case noDisplaysAvailable:
        return QStringLiteral("No active displays were available for layout capture.");
    case noWindowsAvailable:
        return QStringLiteral("No windows were available to capture. Unhide or restore a window, then try again.");
    }
    return {};
}

QString SnapshotCaptureServiceError::ownDescription() const
{
    return m_code == noDisplaysAvailable ? QStringLiteral("SnapshotCaptureServiceError.noDisplaysAvailable")
                                         : QStringLiteral("SnapshotCaptureServiceError.noWindowsAvailable");
}

namespace {
struct Localized {
    QString operator()(const SnapshotCaptureServiceError& e) const { return e.localizedDescription(); }
    QString operator()(const SnapshotStoreError& e) const { return e.localizedDescription(); }
    QString operator()(const WindowDiscoveryError& e) const { return e.errorDescription(); }
};
struct Own {
    QString operator()(const SnapshotCaptureServiceError& e) const { return e.ownDescription(); }
    QString operator()(const SnapshotStoreError& e) const { return e.ownDescription(); }
    QString operator()(const WindowDiscoveryError&) const
    {
        return QStringLiteral("WindowDiscoveryError.accessibilityPermissionDenied");
    }
};
} // namespace

QString SnapshotCaptureFailure::localizedDescription() const { return std::visit(Localized{}, m_error); }
QString SnapshotCaptureFailure::ownDescription() const { return std::visit(Own{}, m_error); }

SnapshotCaptureService::SnapshotCaptureService(SnapshotStore store, WindowDiscoveryEngine engine, DisplayResolver resolver,
                                               std::shared_ptr<const TelemetryLogging> logger, DiscoveryResultProvider provider)
    : windowDiscoveryEngine(std::move(engine))
    , displayResolver(std::move(resolver))
    , snapshotStore(std::move(store))
    , telemetryLogger(logger ? std::move(logger) : std::make_shared<NoOpTelemetryLogger>())
    , discoveryResultProvider(std::move(provider))
{
}

SnapshotCaptureService::CaptureContext SnapshotCaptureService::CaptureContext::current() { return {}; }
SnapshotCaptureService::CaptureContext SnapshotCaptureService::CaptureContext::current(const PlatformServices&) { return {}; }

QString SnapshotCaptureService::defaultSnapshotName(const QDateTime&) { return {}; }

std::expected<Snapshot, SnapshotCaptureFailure> SnapshotCaptureService::captureSnapshot(const QString&, const QDateTime&,
                                                                                       const CaptureContext&) const
{
    return std::unexpected(SnapshotCaptureFailure(SnapshotCaptureServiceError::noWindowsAvailable));
}
std::expected<Snapshot, SnapshotCaptureFailure> SnapshotCaptureService::captureSnapshot(const QString&, const QDateTime&) const
{
    return std::unexpected(SnapshotCaptureFailure(SnapshotCaptureServiceError::noWindowsAvailable));
}
std::expected<Snapshot, SnapshotCaptureFailure> SnapshotCaptureService::updateSnapshot(const QUuid&, const QDateTime&,
                                                                                      const CaptureContext&) const
{
    return std::unexpected(SnapshotCaptureFailure(SnapshotCaptureServiceError::noWindowsAvailable));
}
std::expected<Snapshot, SnapshotCaptureFailure> SnapshotCaptureService::updateSnapshot(const QUuid&, const QDateTime&) const
{
    return std::unexpected(SnapshotCaptureFailure(SnapshotCaptureServiceError::noWindowsAvailable));
}

} // namespace zen
