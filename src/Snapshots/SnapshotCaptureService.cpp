#include "Snapshots/SnapshotCaptureService.h"

#include "Platform/PlatformServices.h"
#include "Shared/StringExtensions.h"
#include "WindowDiscovery/WindowSignatureFactory.h"

#include <QLocale>

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

QString SnapshotCaptureFailure::localizedDescription() const
{
    return std::visit([](const auto& e) { return e.localizedDescription(); }, m_error);
}

QString SnapshotCaptureFailure::ownDescription() const
{
    return std::visit([](const auto& e) { return e.ownDescription(); }, m_error);
}

SnapshotCaptureService::SnapshotCaptureService(SnapshotStore store, WindowDiscoveryEngine engine, DisplayResolver resolver,
                                               std::shared_ptr<const TelemetryLogging> logger, DiscoveryResultProvider provider)
    : windowDiscoveryEngine(std::move(engine))
    , displayResolver(std::move(resolver))
    , snapshotStore(std::move(store))
    , telemetryLogger(logger ? std::move(logger) : std::make_shared<NoOpTelemetryLogger>())
    , discoveryResultProvider(std::move(provider))
{
}

SnapshotCaptureService::CaptureContext SnapshotCaptureService::CaptureContext::current()
{
    return current(defaultPlatformServices());
}

SnapshotCaptureService::CaptureContext SnapshotCaptureService::CaptureContext::current(const PlatformServices& services)
{
    CaptureContext context;
    if (services.workspace) {
        for (const RunningApplication& app : services.workspace->runningApplications())
            context.runningApplications.push_back(RunningApplicationSnapshot::fromApplication(app));
    }
    if (services.screens)
        context.screens = DisplayResolver::ScreenSnapshot::currentScreens(*services.screens);
    return context;
}

QString SnapshotCaptureService::defaultSnapshotName(const QDateTime& now)
{
    // The C locale keeps Western digits and a 24-hour clock whatever the user's locale;
    // the local time zone is read at each call, so a change of zone is followed.
    return QStringLiteral("Layout - ") + QLocale::c().toString(now.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm"));
}

WindowRecord makeWindowRecord(const DiscoveredApplication& application, const DiscoveredWindow& window,
                              const DisplayRecord& display)
{
    WindowRecord record;
    record.id = QUuid::createUuid();
    record.bundleIdentifier = application.bundleIdentifier;
    record.pidAtCapture = application.pid;
    record.windowTitle = window.title;
    record.role = window.role;
    record.subrole = window.subrole;
    record.frame = CGRectCodable(window.frame);
    record.displayID = display.id;
    record.normalizedFrame = DisplayResolver::normalizedFrame(window.frame, display);
    record.zOrderHint = window.zOrderHint;
    record.isMinimized = window.isMinimized;
    record.isFullscreen = window.isFullscreen;
    record.isVisible = window.isVisible;
    record.captureSignature = makeWindowSignature(application, window);
    // Whatever the source of the title, a record never holds more of it than the layout file
    // can afford.
    if (record.windowTitle)
        record.windowTitle = cappedWindowTitle(*record.windowTitle);
    if (record.captureSignature.windowTitle)
        record.captureSignature.windowTitle = cappedWindowTitle(*record.captureSignature.windowTitle);
    return record;
}

std::expected<SnapshotCaptureService::CapturedWindowState, SnapshotCaptureFailure>
SnapshotCaptureService::captureCurrentWindowState(const std::optional<CaptureContext>& context) const
{
    std::expected<WindowDiscoveryResult, SnapshotCaptureFailure> discovered = [&]() -> std::expected<WindowDiscoveryResult, SnapshotCaptureFailure> {
        if (discoveryResultProvider)
            return discoveryResultProvider();
        auto result = context ? windowDiscoveryEngine.discoverRunningWindowsWithDiagnostics(context->runningApplications)
                              : windowDiscoveryEngine.discoverRunningWindowsWithDiagnostics();
        if (!result)
            return std::unexpected(SnapshotCaptureFailure(result.error()));
        return std::move(*result);
    }();
    if (!discovered)
        return std::unexpected(discovered.error());

    const DisplayState displayState = context ? DisplayResolver([screens = context->screens] { return screens; }).captureDisplayState()
                                              : displayResolver.captureDisplayState();
    if (displayState.displays.empty())
        return std::unexpected(SnapshotCaptureFailure(SnapshotCaptureServiceError::noDisplaysAvailable));

    CapturedWindowState state;
    state.displayState = displayState;
    for (const auto& application : discovered->applications) {
        for (const auto& window : application.windows) {
            const auto display = DisplayResolver::resolveDisplay(window.frame, displayState);
            if (!display)
                return std::unexpected(SnapshotCaptureFailure(SnapshotCaptureServiceError::noDisplaysAvailable));
            state.windows.push_back(makeWindowRecord(application, window, *display));
        }
    }
    if (state.windows.empty())
        return std::unexpected(SnapshotCaptureFailure(SnapshotCaptureServiceError::noWindowsAvailable));
    state.discoveryDiagnostics = std::move(discovered->diagnostics);
    return state;
}

std::expected<Snapshot, SnapshotCaptureFailure>
SnapshotCaptureService::captureAndSave(const std::optional<CaptureContext>& context, const SaveCapture& save) const
{
    auto fail = [&](SnapshotCaptureFailure failure) -> std::expected<Snapshot, SnapshotCaptureFailure> {
        telemetryLogger->log(TelemetryLogEvent::captureFailed(failure));
        return std::unexpected(std::move(failure));
    };
    auto state = captureCurrentWindowState(context);
    if (!state)
        return fail(state.error());
    auto saved = save(*state);
    if (!saved)
        return fail(saved.error());
    telemetryLogger->log(TelemetryLogEvent::captureCompleted(*saved, state->discoveryDiagnostics));
    return std::move(*saved);
}

std::expected<Snapshot, SnapshotCaptureFailure> SnapshotCaptureService::captureNew(const QString& name, const QDateTime& now,
                                                                                   const std::optional<CaptureContext>& context) const
{
    return captureAndSave(context, [&](CapturedWindowState& state) -> std::expected<Snapshot, SnapshotStoreError> {
        Snapshot snapshot;
        snapshot.id = QUuid::createUuid();
        snapshot.name = name;
        snapshot.createdAt = now;
        snapshot.updatedAt = now;
        snapshot.schemaVersion = 1;
        snapshot.sourceDisplayState = std::move(state.displayState);
        snapshot.windows = std::move(state.windows);
        snapshot.hotkey = std::nullopt;
        if (auto saved = snapshotStore.save(snapshot); !saved)
            return std::unexpected(saved.error());
        return snapshot;
    });
}

std::expected<Snapshot, SnapshotCaptureFailure> SnapshotCaptureService::update(const QUuid& id, const QDateTime& now,
                                                                               const std::optional<CaptureContext>& context) const
{
    if (auto loaded = snapshotStore.loadSnapshot(id); !loaded)
        return std::unexpected(SnapshotCaptureFailure(loaded.error()));
    // Discovery takes a while and the user may rename the layout, give it a hotkey or delete
    // it meanwhile: read it again and save under the store's lock, so such an edit is kept
    // and a deleted layout stays deleted, even when the edit comes between the read and the
    // save.
    return captureAndSave(context, [&](CapturedWindowState& state) {
        return snapshotStore.modifySnapshot(id, [&](Snapshot& snapshot) {
            snapshot.updatedAt = now;
            snapshot.sourceDisplayState = std::move(state.displayState);
            snapshot.windows = std::move(state.windows);
        });
    });
}

std::expected<Snapshot, SnapshotCaptureFailure> SnapshotCaptureService::captureSnapshot(const QString& name, const QDateTime& now,
                                                                                       const CaptureContext& context) const
{
    return captureNew(name, now, context);
}

std::expected<Snapshot, SnapshotCaptureFailure> SnapshotCaptureService::captureSnapshot(const QString& name, const QDateTime& now) const
{
    return captureNew(name, now, std::nullopt);
}

std::expected<Snapshot, SnapshotCaptureFailure> SnapshotCaptureService::updateSnapshot(const QUuid& id, const QDateTime& now,
                                                                                      const CaptureContext& context) const
{
    return update(id, now, context);
}

std::expected<Snapshot, SnapshotCaptureFailure> SnapshotCaptureService::updateSnapshot(const QUuid& id, const QDateTime& now) const
{
    return update(id, now, std::nullopt);
}

} // namespace zen
