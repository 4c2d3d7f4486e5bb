#include "MenuBar/SnapshotMenuController.h"

#include "Dashboard/DashboardAppIdentityResolver.h"
#include "Displays/DisplayResolver.h"
#include "Hotkeys/HotkeyText.h"
#include "MenuBar/SnapshotNamePrompt.h"
#include "Restore/RestoreSkipReason.h"
#include "Shared/StringExtensions.h"

#include <QPointer>

#include <algorithm>

namespace zen {

namespace {

using CaptureContext = SnapshotCaptureService::CaptureContext;

const QString storageUnavailable = QStringLiteral("Layout storage is unavailable.");
const QString restoreUnavailable = QStringLiteral("Layout restore is unavailable.");
const QString layoutNotFound = QStringLiteral("The layout could not be found.");
const QString fallbackLayoutName = QStringLiteral("Layout");
constexpr qsizetype maximumSkippedDetailLines = 5;

// A name from a file inside one of our sentences: isolated, so its direction marks and line
// separators cannot rearrange or break the sentence around it.
QString quoted(const QString& text)
{
    return QLatin1Char('"') + isolatedForDisplay(text) + QLatin1Char('"');
}

QString windowCount(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 window") : QStringLiteral("%1 windows").arg(count);
}

bool sameSummaries(const std::vector<SnapshotSummary>& a, const std::vector<SnapshotSummary>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const SnapshotSummary& x, const SnapshotSummary& y) {
        return x.id == y.id && x.appCount == y.appCount && x.name == y.name && x.createdAt == y.createdAt
            && x.displayCount == y.displayCount && x.updatedAt == y.updatedAt && x.windowCount == y.windowCount
            && x.hotkey == y.hotkey;
    });
}

// The store no longer lists a layout it failed on this way: its file was removed, or edited
// into something the listing leaves out.
bool meansLayoutGone(const SnapshotStoreError* error)
{
    if (!error)
        return false;
    switch (error->kind()) {
    case SnapshotStoreError::Kind::notFound:
    case SnapshotStoreError::Kind::unsupportedSchemaVersion:
    case SnapshotStoreError::Kind::snapshotIdentityMismatch:
    case SnapshotStoreError::Kind::snapshotDecodeFailed:
        return true;
    default:
        return false;
    }
}

} // namespace

SnapshotMenuController::SnapshotMenuController(std::optional<SnapshotStore> snapshotStore,
                                               std::optional<SnapshotCaptureService> snapshotCaptureService,
                                               std::optional<RestoreEngine> restoreEngine, Options options,
                                               QObject* parent)
    : QObject(parent)
    , m_snapshotStore(std::move(snapshotStore))
    , m_options(std::move(options))
{
    auto& o = m_options;
    if (!o.hotkeyPrompt)
        o.hotkeyPrompt = [](const QString& name, const std::vector<UnavailableHotkey>& unavailable) {
            return HotkeyCapturePrompt::prompt(name, unavailable);
        };
    if (!o.snapshotNamePrompt)
        o.snapshotNamePrompt = [](const QString& name) { return SnapshotNamePrompt::prompt(name); };
    if (!o.snapshotRenamePrompt)
        o.snapshotRenamePrompt = [](const QString& name) { return SnapshotNamePrompt::promptRename(name); };
    if (!o.captureContextProvider)
        o.captureContextProvider = [] { return SnapshotCaptureService::CaptureContext::current(); };
    if (!o.appNameResolver)
        o.appNameResolver = [](const QString& id) { return DashboardAppIdentityResolver::shared().identity(id).name; };
    if (!o.appHasDesktopEntry)
        o.appHasDesktopEntry = [](const QString& id) {
            return DashboardAppIdentityResolver::shared().identity(id).hasDesktopEntry;
        };
    if (!o.operationOverlayPresenter)
        o.operationOverlayPresenter = std::make_shared<NoOpOperationOverlayPresenter>();
    if (!o.scheduler)
        o.scheduler = std::make_shared<QtOperationScheduler>();
    if (!o.clock)
        o.clock = [] { return QDateTime::currentDateTime(); };
    if (!(o.statusAutoClearDelay >= 0))
        o.statusAutoClearDelay = 0;
    // The worker threads get their own copies: nothing they touch is shared with the main thread.
    if (snapshotCaptureService) {
        auto service = std::make_shared<const SnapshotCaptureService>(std::move(*snapshotCaptureService));
        if (!o.captureOperation)
            o.captureOperation = [service](const QString& name, const QDateTime& now,
                                           const SnapshotCaptureService::CaptureContext& context) {
                return service->captureSnapshot(name, now, context);
            };
        if (!o.updateOperation)
            o.updateOperation = [service](const QUuid& id, const QDateTime& now,
                                          const SnapshotCaptureService::CaptureContext& context) {
                return service->updateSnapshot(id, now, context);
            };
    }
    if (restoreEngine && !o.restoreOperation) {
        auto engine = std::make_shared<const RestoreEngine>(std::move(*restoreEngine));
        o.restoreOperation = [engine](const QUuid& id) { return engine->restoreSnapshot(id); };
    }
    // The list fills in once read: a large store must not hold up the tray or a window.
    if (o.listWhenMade)
        refreshSummariesInBackground();
}

SnapshotMenuController::SnapshotMenuController(std::optional<SnapshotStore> snapshotStore,
                                               std::optional<SnapshotCaptureService> snapshotCaptureService,
                                               std::optional<RestoreEngine> restoreEngine, QObject* parent)
    : SnapshotMenuController(std::move(snapshotStore), std::move(snapshotCaptureService), std::move(restoreEngine),
                             Options{}, parent)
{
}

SnapshotMenuController::~SnapshotMenuController()
{
    if (m_statusClearTask)
        m_statusClearTask->cancel();
}

// MARK: Status

void SnapshotMenuController::setStatus(std::optional<Status> status)
{
    const bool changed = status != m_status;
    m_status = std::move(status);
    if (changed)
        Q_EMIT statusChanged(m_status);
    scheduleStatusClear();
}

void SnapshotMenuController::setInfo(const QString& message)
{
    setStatus(Status{message, Status::Kind::info});
}

void SnapshotMenuController::setError(const QString& message)
{
    setStatus(Status{message, Status::Kind::error});
}

void SnapshotMenuController::scheduleStatusClear()
{
    if (m_statusClearTask)
        m_statusClearTask->cancel();
    if (!m_status)
        return;
    // Clamped below the largest representable count so the conversion is always defined.
    const double nanoseconds = std::min(m_options.statusAutoClearDelay * 1e9, 9.0e18);
    const auto delay = std::chrono::nanoseconds(static_cast<std::int64_t>(nanoseconds));
    // Each message gets its own clear; cancelling the old one keeps it from removing a newer
    // message, and the guard keeps a released controller from being touched.
    QPointer<SnapshotMenuController> guard(this);
    m_statusClearTask = m_options.scheduler->runAfter(delay, [guard] {
        if (guard)
            guard->setStatus(std::nullopt);
    });
}

// MARK: List

void SnapshotMenuController::setSummaries(std::vector<SnapshotSummary> summaries)
{
    if (sameSummaries(summaries, m_snapshotSummaries))
        return;
    m_snapshotSummaries = std::move(summaries);
    Q_EMIT snapshotSummariesChanged(m_snapshotSummaries);
}

void SnapshotMenuController::setOperating(bool operating)
{
    if (m_isOperating == operating)
        return;
    m_isOperating = operating;
    Q_EMIT isOperatingChanged(operating);
}

std::optional<OperationError> SnapshotMenuController::refreshSummaries()
{
    if (!m_snapshotStore) {
        setSummaries({});
        return notifySummariesDidChange();
    }
    ++m_listingGeneration;
    return applyListing(m_snapshotStore->listSummaries());
}

void SnapshotMenuController::refreshSummariesInBackground()
{
    if (!m_snapshotStore) {
        (void)refreshSummaries();
        return;
    }
    const auto generation = ++m_listingGeneration;
    auto listed = std::make_shared<std::optional<Listing>>();
    m_options.scheduler->runInBackground(
        this, [listed, store = *m_snapshotStore] { listed->emplace(store.listSummaries()); },
        [this, listed, generation] {
            if (generation == m_listingGeneration && *listed)
                (void)applyListing(std::move(**listed));
        });
}

std::optional<OperationError> SnapshotMenuController::applyListing(Listing listed)
{
    if (listed) {
        setSummaries(std::move(*listed));
        return notifySummariesDidChange();
    }
    setSummaries({});
    (void)notifySummariesDidChange();
    OperationError error(listed.error());
    setError(error.message());
    return error;
}

std::optional<OperationError> SnapshotMenuController::notifySummariesDidChange()
{
    if (!m_snapshotSummariesDidChange)
        return std::nullopt;
    return m_snapshotSummariesDidChange(m_snapshotSummaries);
}

void SnapshotMenuController::setSnapshotSummariesDidChange(SummariesDidChange callback)
{
    m_snapshotSummariesDidChange = std::move(callback);
    if (auto error = notifySummariesDidChange())
        setError(error->message());
}

void SnapshotMenuController::setHotkeyCaptureActivityDidChange(CaptureActivityDidChange callback)
{
    m_hotkeyCaptureActivityDidChange = std::move(callback);
}

std::optional<OperationError> SnapshotMenuController::setHotkeyCaptureActive(bool active)
{
    if (!m_hotkeyCaptureActivityDidChange)
        return std::nullopt;
    auto error = m_hotkeyCaptureActivityDidChange(active);
    if (error)
        setError(error->message());
    return error;
}

void SnapshotMenuController::setStoreError(const QString& message, const SnapshotStoreError* storeError)
{
    // A layout removed behind our back would otherwise keep its row until the next change.
    if (meansLayoutGone(storeError))
        (void)refreshSummaries();
    setError(message);
}

// MARK: Long operations

bool SnapshotMenuController::mayStartOperation(bool serviceAvailable, const QString& unavailableMessage)
{
    if (m_isOperating)
        return false;
    if (!serviceAvailable) {
        setError(unavailableMessage);
        return false;
    }
    return true;
}

void SnapshotMenuController::startOperation(OperationOverlayKind overlay, const QString& progressMessage,
                                            std::function<void(SnapshotMenuController&)> run)
{
    setOperating(true);
    setInfo(progressMessage);
    // The overlay calls back once it is up; the guard keeps a released controller from being touched.
    QPointer<SnapshotMenuController> guard(this);
    m_options.operationOverlayPresenter->showOverlay(overlay, [guard, run = std::move(run)] {
        if (guard)
            run(*guard);
    });
}

bool SnapshotMenuController::captureCurrentSnapshot()
{
    if (!mayStartOperation(bool(m_options.captureOperation), storageUnavailable))
        return false;
    // Busy from the moment the name is asked for: the save captures the windows as they are
    // once the name is given, so a restore (a shortcut, a display change) meanwhile would
    // rearrange what the user chose to save, and raise its windows over the dialog. It is
    // refused as during any other operation.
    setOperating(true);
    const auto name = m_options.snapshotNamePrompt(SnapshotCaptureService::defaultSnapshotName(m_options.clock()));
    if (!name) {
        setOperating(false);
        return false;
    }
    SaveWork work;
    if (m_options.snapshotCapture)
        work = [capture = m_options.snapshotCapture, name = *name](const QDateTime&, const CaptureContext&) {
            return capture(name);
        };
    else
        work = [capture = m_options.captureOperation, name = *name](const QDateTime& now, const CaptureContext& context) {
            return capture(name, now, context);
        };
    startOperation(OperationOverlayKind::save, QStringLiteral("Saving..."),
                   [work = std::move(work)](SnapshotMenuController& self) { self.runSave(work, true); });
    return true;
}

bool SnapshotMenuController::updateSnapshot(const QUuid& id)
{
    if (!mayStartOperation(bool(m_options.updateOperation), storageUnavailable))
        return false;
    SaveWork work = [update = m_options.updateOperation, id](const QDateTime& now, const CaptureContext& context) {
        return update(id, now, context);
    };
    startOperation(OperationOverlayKind::save, QStringLiteral("Saving..."),
                   [work = std::move(work)](SnapshotMenuController& self) { self.runSave(work, false); });
    return true;
}

void SnapshotMenuController::runSave(const SaveWork& work, bool isNewLayout)
{
    const auto context = m_options.captureContextProvider();
    const auto now = m_options.clock();
    auto result = std::make_shared<std::optional<std::expected<Snapshot, SnapshotCaptureFailure>>>();
    // The new list is read on the worker too, right after the save.
    auto listed = std::make_shared<std::optional<Listing>>();
    const auto generation = ++m_listingGeneration;
    const auto store = m_snapshotStore;
    m_options.scheduler->runInBackground(
        this,
        [result, listed, work, now, context, store] {
            result->emplace(work(now, context));
            if (store && result->value())
                listed->emplace(store->listSummaries());
        },
        [this, result, listed, isNewLayout, generation] {
            // An edit listed the store meanwhile: that list is as new, but not the save's.
            std::optional<Listing> listing;
            if (generation == m_listingGeneration)
                listing = std::move(*listed);
            finishCaptureOrUpdate(**result, isNewLayout, std::move(listing));
        });
}

void SnapshotMenuController::finishCaptureOrUpdate(const std::expected<Snapshot, SnapshotCaptureFailure>& result,
                                                   bool isNewLayout, std::optional<Listing> listing)
{
    if (!result) {
        setStoreError(userFacingDescription(result.error()), result.error().as<SnapshotStoreError>());
    } else {
        const auto refreshError = listing ? applyListing(std::move(*listing)) : refreshSummaries();
        if (isNewLayout && summary(result->id)) {
            m_lastCapturedSnapshotID = result->id;
            Q_EMIT lastCapturedSnapshotIDChanged(result->id);
        }
        if (refreshError)
            setError(refreshError->message());
        else
            setInfo(QStringLiteral("%1 %2 with %3.")
                        .arg(isNewLayout ? QStringLiteral("Saved") : QStringLiteral("Updated"), quoted(result->name),
                             windowCount(qsizetype(result->windows.size()))));
    }
    setOperating(false);
    m_options.operationOverlayPresenter->hideOverlay();
}

bool SnapshotMenuController::restoreSnapshot(const QUuid& id)
{
    if (!mayStartOperation(bool(m_options.restoreOperation), restoreUnavailable))
        return false;
    const QString name = layoutName(id);
    startOperation(OperationOverlayKind::restore, QStringLiteral("Restoring..."),
                   [id, name](SnapshotMenuController& self) { self.runRestore(id, name); });
    return true;
}

void SnapshotMenuController::runRestore(const QUuid& id, const QString& name)
{
    auto result = std::make_shared<std::optional<std::expected<RestoreResult, RestoreEngineFailure>>>();
    m_options.scheduler->runInBackground(
        this, [result, restore = m_options.restoreOperation, id] { result->emplace(restore(id)); },
        [this, result, name] {
            const auto& outcome = **result;
            if (!outcome) {
                setStoreError(userFacingDescription(outcome.error()), outcome.error().as<SnapshotStoreError>());
                setOperating(false);
                m_options.operationOverlayPresenter->hideOverlay();
                return;
            }
            const QString message = restoreStatusMessage(name, *outcome);
            setInfo(message);
            m_options.operationOverlayPresenter->showRestoreCompletion(message, skippedWindowDetails(outcome->skippedItems));
            m_restoreCompletionID = QUuid::createUuid();
            Q_EMIT restoreCompletionIDChanged(*m_restoreCompletionID);
            setOperating(false);
        });
}

// MARK: Restore texts

QStringList SnapshotMenuController::restoreSummaryDetails(const RestoreResult& result)
{
    QStringList details;
    if (!result.skippedItems.empty())
        details << QStringLiteral("%1 skipped").arg(result.skippedItems.size());
    // What happened to each window whose display was not there as saved, in words: most
    // often it went to the main display; a monitor known again by its model or place took its
    // windows back; with no display at all a window stays where it is.
    qsizetype moved = 0, recognised = 0, unplaced = 0;
    for (const DisplayFallbackEvent& fallback : result.displayFallbacks) {
        if (fallback.reason == DisplayFallbackReason::hardwareMatch || fallback.reason == DisplayFallbackReason::semanticMatch)
            ++recognised;
        else if (fallback.reason == DisplayFallbackReason::noDisplaysAvailable)
            ++unplaced;
        else
            ++moved;
    }
    if (moved)
        details << QStringLiteral("%1 moved to the main display").arg(moved);
    if (recognised)
        details << QStringLiteral("%1 on their own display, known again by model or place").arg(recognised);
    if (unplaced)
        details << QStringLiteral("%1 left in place with no display found").arg(unplaced);
    return details;
}

QString SnapshotMenuController::restoreStatusMessage(const QString& snapshotName, const RestoreResult& result)
{
    // One pass over all values: chained arg() calls would read a "%2" in the name as a marker.
    QString message = QStringLiteral("Restored %1: %2 %3 restored")
                          .arg(quoted(snapshotName), QString::number(result.restoredWindows),
                               result.restoredWindows == 1 ? QStringLiteral("window") : QStringLiteral("windows"));
    if (const auto details = restoreSummaryDetails(result); !details.isEmpty())
        message += QStringLiteral(", ") + details.join(QStringLiteral(", "));
    return message + QLatin1Char('.');
}

std::optional<QString> SnapshotMenuController::skippedWindowDetails(const std::vector<RestoreSkip>& skippedItems) const
{
    if (skippedItems.empty())
        return std::nullopt;
    QStringList lines;
    const auto count = qsizetype(skippedItems.size());
    for (qsizetype i = 0; i < std::min(count, maximumSkippedDetailLines); ++i)
        lines << skippedWindowDetail(skippedItems[size_t(i)]);
    if (count > maximumSkippedDetailLines)
        lines << QStringLiteral("and %1 more skipped").arg(count - maximumSkippedDetailLines);
    return lines.join(QLatin1Char('\n'));
}

QString SnapshotMenuController::skippedWindowDetail(const RestoreSkip& skip) const
{
    const QString label = nonEmptyValue(m_options.appNameResolver(skip.bundleIdentifier)).value_or(skip.bundleIdentifier);
    QString window = isolatedForDisplay(label);
    if (const auto title = nonEmptyValue(skip.windowTitle))
        window = QStringLiteral("%1 (%2)").arg(window, isolatedForDisplay(*title));
    // A program that was not running and has no desktop entry was never started: the line
    // says so, or the user waits for a program that nothing could open.
    QString why = skip.reason;
    if (skip.reason == RestoreSkipReason::appNotRunning && !m_options.appHasDesktopEntry(skip.bundleIdentifier))
        why = QStringLiteral("not running, and no desktop entry to open it from");
    return why.isEmpty() ? window : QStringLiteral("%1: %2").arg(window, why);
}

// MARK: Edit commands

const SnapshotSummary* SnapshotMenuController::summary(const QUuid& id) const
{
    for (const auto& entry : m_snapshotSummaries)
        if (entry.id == id)
            return &entry;
    return nullptr;
}

QString SnapshotMenuController::layoutName(const QUuid& id) const
{
    const auto* entry = summary(id);
    return entry ? entry->name : fallbackLayoutName;
}

bool SnapshotMenuController::requireStore()
{
    if (m_snapshotStore)
        return true;
    setError(storageUnavailable);
    return false;
}

bool SnapshotMenuController::mayEditWindows()
{
    // An update rewrites the layout's windows and a restore is placing them: a window removed
    // or reordered meanwhile would come back or be lost. The views disable these edits, but a
    // click queued before the lock took hold still arrives; like a refused operation, it
    // changes nothing and says nothing.
    if (m_isOperating)
        return false;
    return requireStore();
}

const SnapshotSummary* SnapshotMenuController::requireSummary(const QUuid& id)
{
    if (!requireStore())
        return nullptr;
    const auto* entry = summary(id);
    if (!entry)
        setError(layoutNotFound);
    return entry;
}

std::optional<Snapshot> SnapshotMenuController::loadSnapshot(const QUuid& id)
{
    if (!requireStore())
        return std::nullopt;
    auto loaded = m_snapshotStore->loadSnapshot(id);
    if (!loaded) {
        setStoreError(userFacingDescription(loaded.error()), &loaded.error());
        return std::nullopt;
    }
    return std::move(*loaded);
}

void SnapshotMenuController::deleteSnapshot(const QUuid& id)
{
    if (!requireStore())
        return;
    const QString name = layoutName(id);
    if (auto deleted = m_snapshotStore->deleteSnapshot(id); !deleted) {
        setStoreError(userFacingDescription(deleted.error()), &deleted.error());
        return;
    }
    if (auto error = refreshSummaries())
        setError(error->message());
    else
        setInfo(QStringLiteral("Deleted %1.").arg(quoted(name)));
}

bool SnapshotMenuController::storeRename(const QUuid& id, const QString& newName)
{
    const auto now = m_options.clock();
    const auto trimmed = nonEmptyValue(newName);
    if (!trimmed) {
        setError(userFacingDescription(SnapshotStoreError::invalidName()));
        return false;
    }
    if (auto renamed = m_snapshotStore->renameSnapshot(id, *trimmed, now); !renamed) {
        setStoreError(userFacingDescription(renamed.error()), &renamed.error());
        return false;
    }
    return true;
}

bool SnapshotMenuController::renameSnapshotInline(const QUuid& id, const QString& newName)
{
    const auto* entry = requireSummary(id);
    if (!entry)
        return false;
    const QString oldName = entry->name;
    if (!storeRename(id, newName))
        return false;
    if (auto error = refreshSummaries()) {
        setError(error->message());
        return true; // the new name is on disk
    }
    setInfo(QStringLiteral("Renamed %1 to %2.").arg(quoted(oldName), quoted(newName)));
    return true;
}

void SnapshotMenuController::renameSnapshot(const QUuid& id)
{
    const auto* entry = requireSummary(id);
    if (!entry)
        return;
    const QString oldName = entry->name;
    const auto answer = m_options.snapshotRenamePrompt(oldName);
    if (!answer)
        return;
    // The dialog ran its own event loop; the store is what decides whether the layout still exists.
    if (!storeRename(id, *answer))
        return;
    if (auto error = refreshSummaries()) {
        setError(error->message());
        return;
    }
    const auto* renamedEntry = summary(id);
    setInfo(QStringLiteral("Renamed %1 to %2.").arg(quoted(oldName), quoted(renamedEntry ? renamedEntry->name : *answer)));
}

bool SnapshotMenuController::setHotkey(const HotkeyBinding& binding, const QUuid& id)
{
    const auto* entry = requireSummary(id);
    if (!entry)
        return false;
    const QString name = entry->name;
    if (auto stored = m_snapshotStore->setHotkey(id, binding, m_options.clock()); !stored) {
        setStoreError(userFacingDescription(stored.error()), &stored.error());
        return false;
    }
    if (auto error = refreshSummaries()) {
        setError(error->message());
        return false;
    }
    setInfo(QStringLiteral("Assigned %1 to %2.").arg(hotkeyText(binding), quoted(name)));
    return true;
}

void SnapshotMenuController::assignHotkey(const QUuid& id)
{
    if (!requireSummary(id))
        return;
    if (setHotkeyCaptureActive(true))
        return;
    std::vector<UnavailableHotkey> unavailable;
    for (const auto& entry : m_snapshotSummaries)
        if (entry.id != id && entry.hotkey)
            unavailable.push_back({*entry.hotkey, entry.name});
    if (const auto binding = m_options.hotkeyPrompt(layoutName(id), unavailable))
        (void)setHotkey(*binding, id);
    (void)setHotkeyCaptureActive(false);
}

void SnapshotMenuController::clearHotkey(const QUuid& id)
{
    if (!requireStore())
        return;
    const QString name = layoutName(id);
    if (auto cleared = m_snapshotStore->setHotkey(id, std::nullopt, m_options.clock()); !cleared) {
        setStoreError(userFacingDescription(cleared.error()), &cleared.error());
        return;
    }
    if (auto error = refreshSummaries())
        setError(error->message());
    else
        setInfo(QStringLiteral("Cleared hotkey for %1.").arg(quoted(name)));
}

void SnapshotMenuController::removeWindow(const QUuid& windowID, const std::optional<QString>& windowTitle,
                                          const QString& appName, const QUuid& snapshotID)
{
    if (!mayEditWindows())
        return;
    const QString name = layoutName(snapshotID);
    const auto title = nonEmptyValue(windowTitle);
    const QString label = title ? quoted(*title) : appName + QStringLiteral(" window");
    const auto removed = m_snapshotStore->removeWindow(windowID, snapshotID, m_options.clock());
    if (!removed) {
        setStoreError(userFacingDescription(removed.error()), &removed.error());
        return;
    }
    if (auto error = refreshSummaries()) {
        setError(error->message());
        return;
    }
    if (*removed)
        setInfo(QStringLiteral("Removed %1 from %2.").arg(label, quoted(name)));
    else
        setInfo(QStringLiteral("%1 has no saved window matching %2.").arg(quoted(name), label));
}

bool SnapshotMenuController::reorderWindows(std::uint32_t displayID, const std::vector<QUuid>& orderedWindowIDs,
                                            const QUuid& snapshotID)
{
    if (!mayEditWindows())
        return false;
    const QString name = layoutName(snapshotID);
    const auto changed =
        m_snapshotStore->reorderDisplayWindows(snapshotID, displayID, orderedWindowIDs, m_options.clock());
    if (!changed) {
        setStoreError(userFacingDescription(changed.error()), &changed.error());
        return false;
    }
    if (auto error = refreshSummaries()) {
        setError(error->message());
        return *changed;
    }
    if (!*changed)
        return false;
    setInfo(QStringLiteral("Updated restore order for %1.").arg(quoted(name)));
    return true;
}

void SnapshotMenuController::reportLayoutRequiresWindow()
{
    setError(userFacingDescription(SnapshotStoreError::layoutRequiresWindow()));
}

} // namespace zen
