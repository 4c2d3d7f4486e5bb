#pragma once

#include "Displays/DisplayResolver.h"
#include "Infrastructure/TelemetryLogger.h"
#include "Shared/UserFacingError.h"
#include "Snapshots/Snapshot.h"
#include "Snapshots/SnapshotStore.h"
#include "Snapshots/SnapshotStoreError.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace zen {

// Why a capture found nothing worth saving.
class SnapshotCaptureServiceError {
public:
    enum Code { noDisplaysAvailable, noWindowsAvailable };

    SnapshotCaptureServiceError(Code code) : m_code(code) {}
    Code code() const { return m_code; }

    QString errorDescription() const;
    QString localizedDescription() const { return errorDescription(); }
    QString ownDescription() const;

    friend bool operator==(const SnapshotCaptureServiceError&, const SnapshotCaptureServiceError&) = default;

private:
    Code m_code;
};

// A failed capture or update: the capture's own error, the store's or discovery's, kept as
// it was so callers can look inside.
class SnapshotCaptureFailure {
public:
    using Variant = std::variant<SnapshotCaptureServiceError, SnapshotStoreError, WindowDiscoveryError>;

    SnapshotCaptureFailure(SnapshotCaptureServiceError e) : m_error(e) {}
    SnapshotCaptureFailure(SnapshotStoreError e) : m_error(std::move(e)) {}
    SnapshotCaptureFailure(WindowDiscoveryError e) : m_error(e) {}

    const Variant& error() const { return m_error; }
    template <typename E>
    const E* as() const { return std::get_if<E>(&m_error); }

    QString localizedDescription() const;
    QString ownDescription() const;

    friend bool operator==(const SnapshotCaptureFailure&, const SnapshotCaptureFailure&) = default;

private:
    Variant m_error;
};

// Turns the live arrangement of windows into a stored layout, new or re-captured. Keeps
// nothing between calls; the capture and update calls may run on any one thread (they read
// the X11 layer's own connection), while CaptureContext::current() belongs to the main thread.
struct SnapshotCaptureService {
    using DiscoveryResultProvider = std::function<std::expected<WindowDiscoveryResult, SnapshotCaptureFailure>()>;

    // The part of the live state read on the main thread before a capture runs elsewhere.
    struct CaptureContext {
        std::vector<RunningApplicationSnapshot> runningApplications;
        std::vector<DisplayResolver::ScreenSnapshot> screens;

        // Main thread only.
        static CaptureContext current();
        static CaptureContext current(const PlatformServices& services);
    };

    WindowDiscoveryEngine windowDiscoveryEngine;
    DisplayResolver displayResolver;
    SnapshotStore snapshotStore;
    std::shared_ptr<const TelemetryLogging> telemetryLogger;
    DiscoveryResultProvider discoveryResultProvider;

    explicit SnapshotCaptureService(SnapshotStore store,
                                    WindowDiscoveryEngine engine = WindowDiscoveryEngine::live(),
                                    DisplayResolver resolver = DisplayResolver(),
                                    std::shared_ptr<const TelemetryLogging> logger = std::make_shared<NoOpTelemetryLogger>(),
                                    DiscoveryResultProvider provider = {});

    // "Layout - yyyy-MM-dd HH:mm" in the current time zone, Western digits, 24-hour clock.
    static QString defaultSnapshotName(const QDateTime& now = QDateTime::currentDateTime());

    std::expected<Snapshot, SnapshotCaptureFailure> captureSnapshot(const QString& name, const QDateTime& now,
                                                                    const CaptureContext& context) const;
    std::expected<Snapshot, SnapshotCaptureFailure> captureSnapshot(const QString& name, const QDateTime& now) const;
    // Keeps the layout's id, creation date and schema, and the name and hotkey it has in the
    // store when the new windows are saved (an edit made during the capture wins).
    std::expected<Snapshot, SnapshotCaptureFailure> updateSnapshot(const QUuid& id, const QDateTime& now,
                                                                   const CaptureContext& context) const;
    std::expected<Snapshot, SnapshotCaptureFailure> updateSnapshot(const QUuid& id, const QDateTime& now) const;

    struct CapturedWindowState {
        DisplayState displayState;
        std::vector<WindowRecord> windows;
        std::vector<WindowDiscoveryDiagnostic> discoveryDiagnostics;
    };

private:
    std::expected<CapturedWindowState, SnapshotCaptureFailure> captureCurrentWindowState(const std::optional<CaptureContext>& context) const;
    // Saves what `captureCurrentWindowState` found; returns the record as saved.
    using SaveCapture = std::function<std::expected<Snapshot, SnapshotStoreError>(CapturedWindowState& state)>;
    // Captures the windows and saves them through `save`, logging the outcome either way.
    std::expected<Snapshot, SnapshotCaptureFailure> captureAndSave(const std::optional<CaptureContext>& context,
                                                                   const SaveCapture& save) const;
    std::expected<Snapshot, SnapshotCaptureFailure> captureNew(const QString& name, const QDateTime& now,
                                                               const std::optional<CaptureContext>& context) const;
    std::expected<Snapshot, SnapshotCaptureFailure> update(const QUuid& id, const QDateTime& now,
                                                           const std::optional<CaptureContext>& context) const;
};

WindowRecord makeWindowRecord(const DiscoveredApplication& application, const DiscoveredWindow& window,
                              const DisplayRecord& display);

} // namespace zen
