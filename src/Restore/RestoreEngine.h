#pragma once

#include "Displays/DisplayResolver.h"
#include "Infrastructure/TelemetryLogger.h"
#include "Permissions/AccessibilityTrustChecker.h"
#include "Restore/RestoreResult.h"
#include "Restore/RestoreWindowApplying.h"
#include "Restore/RestoreWindowMatchPlanner.h"
#include "Snapshots/SnapshotStore.h"
#include "Snapshots/SnapshotStoreError.h"
#include "WindowDiscovery/DiscoveredApplication.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include <QSet>
#include <QString>
#include <QUuid>

#include <expected>
#include <functional>
#include <memory>
#include <variant>
#include <vector>

namespace zen {

struct PlatformServices;

// The restore's own error.
class RestoreEngineError {
public:
    enum Code { accessibilityPermissionDenied };

    RestoreEngineError(Code code = accessibilityPermissionDenied) : m_code(code) {}
    Code code() const { return m_code; }

    QString errorDescription() const { return QStringLiteral("Window access is required to restore layouts."); }
    QString localizedDescription() const { return errorDescription(); }
    QString ownDescription() const { return QStringLiteral("RestoreEngineError.accessibilityPermissionDenied"); }

    friend bool operator==(const RestoreEngineError&, const RestoreEngineError&) = default;

private:
    Code m_code;
};

// A failed restore: the engine's error, the store's or discovery's, kept as it was.
class RestoreEngineFailure {
public:
    using Variant = std::variant<RestoreEngineError, SnapshotStoreError, WindowDiscoveryError>;

    RestoreEngineFailure(RestoreEngineError e) : m_error(e) {}
    RestoreEngineFailure(SnapshotStoreError e) : m_error(std::move(e)) {}
    RestoreEngineFailure(WindowDiscoveryError e) : m_error(e) {}

    const Variant& error() const { return m_error; }
    template <typename E>
    const E* as() const { return std::get_if<E>(&m_error); }

    QString localizedDescription() const;
    QString ownDescription() const;

    friend bool operator==(const RestoreEngineFailure&, const RestoreEngineFailure&) = default;

private:
    Variant m_error;
};

// Restores one stored layout onto the live windows: launches the applications that are not
// running, pairs saved windows with live ones, places, un-minimizes and re-stacks them, and
// logs one event. Holds no mutable state; restoreSnapshot is synchronous and meant to run on
// a worker thread (its pauses are the injected sleeper's).
struct RestoreEngine {
    using DiscoveredApplicationsProvider =
        std::function<std::expected<std::vector<DiscoveredApplication>, RestoreEngineFailure>()>;
    using RunningApplicationBundleProvider = std::function<QSet<QString>()>;
    // Seconds on a monotonic clock: a wall-clock step must not stretch or cut the wait.
    using LaunchClock = std::function<double()>;
    using LaunchPollSleeper = std::function<void(double seconds)>;

    SnapshotStore snapshotStore;
    AccessibilityTrustChecker trustChecker;
    std::shared_ptr<const RestoreWindowApplying> windowApplier;
    RestoreWindowMatchPlanner matchPlanner;
    DisplayResolver displayResolver;
    std::shared_ptr<const RestoreApplicationLaunching> applicationLauncher;
    std::shared_ptr<const RestoreApplicationActivating> applicationActivator;
    DiscoveredApplicationsProvider discoveredApplicationsProvider;
    RunningApplicationBundleProvider runningApplicationBundleProvider;
    double launchTimeout = 5.0;
    double launchPollInterval = 0.1;
    LaunchClock launchClock;
    LaunchPollSleeper launchPollSleeper;
    std::shared_ptr<const TelemetryLogging> telemetryLogger;

    // Every service bound to the given platform (the live desktop by default), the real
    // monotonic clock and a real sleep.
    static RestoreEngine forPlatform(SnapshotStore store, const PlatformServices& services,
                                     std::shared_ptr<const TelemetryLogging> logger = std::make_shared<NoOpTelemetryLogger>());
    static RestoreEngine live(SnapshotStore store,
                              std::shared_ptr<const TelemetryLogging> logger = std::make_shared<NoOpTelemetryLogger>());

    std::expected<RestoreResult, RestoreEngineFailure> restoreSnapshot(const QUuid& id) const;

    // The steady clock in seconds, and a sleep of the calling thread.
    static double monotonicSeconds();
    static void sleepSeconds(double seconds);

private:
    std::expected<std::vector<DiscoveredApplication>, RestoreEngineFailure>
    rediscoverApplicationsUntilLaunchReadiness(const Snapshot& snapshot, const QSet<QString>& requestedLaunches) const;
    bool launchedApplicationsAreReady(const Snapshot& snapshot, const QSet<QString>& requestedLaunches,
                                      const std::vector<DiscoveredApplication>& applications) const;
    QSet<QString> runningBundleIdentifiers(const std::vector<DiscoveredApplication>& applications) const;
    void log(const TelemetryLogEvent& event) const;
};

} // namespace zen
