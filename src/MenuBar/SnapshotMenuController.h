#pragma once

#include "Hotkeys/HotkeyCapturePrompt.h"
#include "MenuBar/OperationOverlayPresenting.h"
#include "MenuBar/OperationScheduler.h"
#include "Restore/RestoreEngine.h"
#include "Restore/RestoreResult.h"
#include "Shared/UserFacingError.h"
#include "Snapshots/Snapshot.h"
#include "Snapshots/SnapshotCaptureService.h"
#include "Snapshots/SnapshotStore.h"
#include "Snapshots/SnapshotSummary.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zen {

// Any error that reaches the user through the controller, kept as its two descriptions.
class OperationError {
public:
    template <DescribedError E>
    OperationError(const E& error) // NOLINT: every described error converts implicitly
        : m_localized(error.localizedDescription()), m_own(error.ownDescription())
    {
    }
    QString localizedDescription() const { return m_localized; }
    QString ownDescription() const { return m_own; }
    QString message() const { return userFacingDescription(m_localized, m_own); }

private:
    QString m_localized;
    QString m_own;
};

// The one place every layout command runs: save, update and restore (one at a time, with a
// progress overlay, work off the main thread) and the short edit commands. Publishes the
// layout list and a self-clearing status line. Main thread only.
class SnapshotMenuController : public QObject {
    Q_OBJECT
public:
    struct Status {
        enum class Kind { info, error };
        QString message;
        Kind kind = Kind::info;
        bool isError() const { return kind == Kind::error; }
        friend bool operator==(const Status&, const Status&) = default;
    };

    using HotkeyPrompt = std::function<std::optional<HotkeyBinding>(const QString& snapshotName,
                                                                    const std::vector<UnavailableHotkey>& unavailable)>;
    using NamePrompt = std::function<std::optional<QString>(const QString& name)>;
    using SnapshotCapture = std::function<std::expected<Snapshot, SnapshotCaptureFailure>(const QString& name)>;
    using CaptureContextProvider = std::function<SnapshotCaptureService::CaptureContext()>;
    using AppNameResolver = std::function<QString(const QString& bundleIdentifier)>;
    using AppEntryCheck = std::function<bool(const QString& bundleIdentifier)>;
    using SummariesDidChange = std::function<std::optional<OperationError>(const std::vector<SnapshotSummary>&)>;
    using CaptureActivityDidChange = std::function<std::optional<OperationError>(bool active)>;
    using Clock = std::function<QDateTime()>;
    // The services' calls, as the controller makes them; they run on a worker thread.
    using CaptureOperation = std::function<std::expected<Snapshot, SnapshotCaptureFailure>(
        const QString& name, const QDateTime& now, const SnapshotCaptureService::CaptureContext& context)>;
    using UpdateOperation = std::function<std::expected<Snapshot, SnapshotCaptureFailure>(
        const QUuid& id, const QDateTime& now, const SnapshotCaptureService::CaptureContext& context)>;
    using RestoreOperation = std::function<std::expected<RestoreResult, RestoreEngineFailure>(const QUuid& id)>;

    // Everything but the three services; an empty member takes its default.
    struct Options {
        HotkeyPrompt hotkeyPrompt;                 // HotkeyCapturePrompt::prompt
        NamePrompt snapshotNamePrompt;             // SnapshotNamePrompt::prompt
        NamePrompt snapshotRenamePrompt;           // SnapshotNamePrompt::promptRename
        SnapshotCapture snapshotCapture;           // none: the capture service saves
        CaptureContextProvider captureContextProvider; // CaptureContext::current()
        AppNameResolver appNameResolver;           // DashboardAppIdentityResolver::shared()
        AppEntryCheck appHasDesktopEntry;          // DashboardAppIdentityResolver::shared()
        std::shared_ptr<OperationOverlayPresenting> operationOverlayPresenter; // no-op
        double statusAutoClearDelay = 5.0;         // seconds, not negative
        std::shared_ptr<OperationScheduler> scheduler; // QTimer and QThreadPool
        Clock clock;                               // the current local date and time
        // Stand-ins for the services' calls; by default bound to copies of the services
        // given, and absent (the service counts as unavailable) without them.
        CaptureOperation captureOperation;
        UpdateOperation updateOperation;
        RestoreOperation restoreOperation;
        // False: the list stays empty until the first refresh is asked for (start-up lists
        // once the tray icon is up).
        bool listWhenMade = true;
    };

    SnapshotMenuController(std::optional<SnapshotStore> snapshotStore,
                           std::optional<SnapshotCaptureService> snapshotCaptureService,
                           std::optional<RestoreEngine> restoreEngine, Options options,
                           QObject* parent = nullptr);
    // Every option at its default.
    SnapshotMenuController(std::optional<SnapshotStore> snapshotStore,
                           std::optional<SnapshotCaptureService> snapshotCaptureService,
                           std::optional<RestoreEngine> restoreEngine, QObject* parent = nullptr);
    ~SnapshotMenuController() override;

    const std::vector<SnapshotSummary>& snapshotSummaries() const { return m_snapshotSummaries; }
    const std::optional<Status>& status() const { return m_status; }
    bool isOperating() const { return m_isOperating; }
    const std::optional<QUuid>& lastCapturedSnapshotID() const { return m_lastCapturedSnapshotID; }
    const std::optional<QUuid>& restoreCompletionID() const { return m_restoreCompletionID; }

    // Every write, the views' included, restarts the automatic clear.
    void setStatus(std::optional<Status> status);

    // The long operations. False when nothing was started (one is running, the service is
    // missing, or the name dialog was cancelled).
    bool captureCurrentSnapshot();
    bool updateSnapshot(const QUuid& id);
    bool restoreSnapshot(const QUuid& id);

    std::optional<OperationError> refreshSummaries();
    // Lists the store on a worker; the current list stays until the new one arrives, and a
    // list taken later (by refreshSummaries) is never replaced by this older one.
    void refreshSummariesInBackground();
    void setSnapshotSummariesDidChange(SummariesDidChange callback);
    void setHotkeyCaptureActivityDidChange(CaptureActivityDidChange callback);
    std::optional<OperationError> setHotkeyCaptureActive(bool active);

    // The short edit commands; they run synchronously and may interleave with a long one.
    std::optional<Snapshot> loadSnapshot(const QUuid& id);
    void deleteSnapshot(const QUuid& id);
    void renameSnapshot(const QUuid& id);
    bool renameSnapshotInline(const QUuid& id, const QString& newName);
    void assignHotkey(const QUuid& id);
    bool setHotkey(const HotkeyBinding& binding, const QUuid& id);
    void clearHotkey(const QUuid& id);
    void removeWindow(const QUuid& windowID, const std::optional<QString>& windowTitle, const QString& appName,
                      const QUuid& snapshotID);
    bool reorderWindows(std::uint32_t displayID, const std::vector<QUuid>& orderedWindowIDs, const QUuid& snapshotID);
    void reportLayoutRequiresWindow();

    // The restore texts, public for the views that repeat them.
    static QString restoreStatusMessage(const QString& snapshotName, const RestoreResult& result);
    std::optional<QString> skippedWindowDetails(const std::vector<RestoreSkip>& skippedItems) const;

Q_SIGNALS:
    void snapshotSummariesChanged(const std::vector<zen::SnapshotSummary>& summaries);
    void statusChanged(const std::optional<zen::SnapshotMenuController::Status>& status);
    void isOperatingChanged(bool isOperating);
    void lastCapturedSnapshotIDChanged(const QUuid& id);
    void restoreCompletionIDChanged(const QUuid& id);

private:
    void scheduleStatusClear();
    void setInfo(const QString& message);
    void setError(const QString& message);
    // An error from the store; when it means the layout is gone, the list follows first.
    void setStoreError(const QString& message, const SnapshotStoreError* storeError);
    void setSummaries(std::vector<SnapshotSummary> summaries);
    using Listing = std::expected<std::vector<SnapshotSummary>, SnapshotStoreError>;
    std::optional<OperationError> applyListing(Listing listed);
    void setOperating(bool operating);
    // A save's work on the worker thread, given the time and live state read when it starts.
    using SaveWork = std::function<std::expected<Snapshot, SnapshotCaptureFailure>(
        const QDateTime& now, const SnapshotCaptureService::CaptureContext& context)>;
    // False when a long operation is running, or (saying so) when its service is missing.
    bool mayStartOperation(bool serviceAvailable, const QString& unavailableMessage);
    // Marks the controller busy, shows the progress text and the overlay, and runs `run`
    // once the overlay is up.
    void startOperation(OperationOverlayKind overlay, const QString& progressMessage,
                        std::function<void(SnapshotMenuController&)> run);
    void runSave(const SaveWork& work, bool isNewLayout);
    std::optional<OperationError> notifySummariesDidChange();
    // Renames in the store; false (with the error shown) when the name is blank or the store refuses.
    bool storeRename(const QUuid& id, const QString& newName);
    void runRestore(const QUuid& id, const QString& name);
    void finishCaptureOrUpdate(const std::expected<Snapshot, SnapshotCaptureFailure>& result, bool isNewLayout,
                               std::optional<Listing> listing);
    const SnapshotSummary* summary(const QUuid& id) const;
    QString layoutName(const QUuid& id) const;
    bool requireStore();
    // False, without a word, while an operation runs; otherwise requireStore().
    bool mayEditWindows();
    // The listed layout of an id; null (with the error shown) when there is no store or no such layout.
    const SnapshotSummary* requireSummary(const QUuid& id);
    QString skippedWindowDetail(const RestoreSkip& skip) const;
    static QStringList restoreSummaryDetails(const RestoreResult& result);

    std::vector<SnapshotSummary> m_snapshotSummaries;
    std::optional<Status> m_status;
    bool m_isOperating = false;
    std::optional<QUuid> m_lastCapturedSnapshotID;
    std::optional<QUuid> m_restoreCompletionID;
    std::optional<SnapshotStore> m_snapshotStore;
    Options m_options;
    SummariesDidChange m_snapshotSummariesDidChange;
    CaptureActivityDidChange m_hotkeyCaptureActivityDidChange;
    std::unique_ptr<OperationScheduler::Handle> m_statusClearTask;
    // Counts listings started, so a result that arrives after a newer one is dropped.
    std::uint64_t m_listingGeneration = 0;
};

} // namespace zen
