#include "Dashboard/DashboardDetailViewPresenter.h"

#include "Hotkeys/HotkeyText.h"
#include "MenuBar/SnapshotMenuController.h"
#include "Onboarding/OnboardingStrings.h"
#include "Permissions/PermissionCoordinator.h"
#include "Permissions/PermissionInterventionRouter.h"
#include "Platform/PlatformServices.h"

#include <QGuiApplication>

#include <algorithm>

namespace zen {

namespace {

QSet<QString> liveRunningBundleIdentifiers()
{
    QSet<QString> identifiers;
    const auto workspace = defaultPlatformServices().workspace;
    if (!workspace)
        return identifiers;
    for (const auto& application : workspace->runningApplications())
        if (application.bundleIdentifier)
            identifiers.insert(*application.bundleIdentifier);
    return identifiers;
}

// What the preview and the inactive applications show of a layout: it, its name, when it was
// last written and its windows in order.
struct ShownStamp {
    QUuid id;
    QString name;
    QDateTime updatedAt;
    std::vector<std::pair<QUuid, std::optional<std::int64_t>>> windows;
    friend bool operator==(const ShownStamp&, const ShownStamp&) = default;
};

ShownStamp shownStamp(const std::optional<Snapshot>& snapshot)
{
    if (!snapshot)
        return {};
    ShownStamp stamp{snapshot->id, snapshot->name, snapshot->updatedAt, {}};
    for (const auto& window : snapshot->windows)
        stamp.windows.emplace_back(window.id, window.zOrderHint);
    return stamp;
}

bool listed(const std::vector<SnapshotSummary>& summaries, const QUuid& id)
{
    return std::ranges::any_of(summaries, [&](const SnapshotSummary& s) { return s.id == id; });
}

// A delayed call still pending is called off and forgotten.
void cancel(std::unique_ptr<OperationScheduler::Handle>& task)
{
    if (task)
        task->cancel();
    task.reset();
}

} // namespace

DashboardDetailViewPresenter::DashboardDetailViewPresenter(std::optional<QString> bootstrapErrorMessage,
                                                           std::shared_ptr<PermissionCoordinator> permissionCoordinator,
                                                           std::shared_ptr<PermissionInterventionRouter> permissionRouter,
                                                           std::shared_ptr<SnapshotMenuController> snapshotMenuController,
                                                           Actions actions, Options options, QObject* parent)
    : QObject(parent)
    , m_bootstrapErrorMessage(std::move(bootstrapErrorMessage))
    , m_permissionCoordinator(std::move(permissionCoordinator))
    , m_permissionRouter(std::move(permissionRouter))
    , m_controller(std::move(snapshotMenuController))
    , m_actions(std::move(actions))
    , m_options(std::move(options))
{
    if (!m_options.scheduler)
        m_options.scheduler = std::make_shared<QtOperationScheduler>();
    if (!m_options.runningBundleIdentifiers)
        m_options.runningBundleIdentifiers = liveRunningBundleIdentifiers;

    connect(m_controller.get(), &SnapshotMenuController::isOperatingChanged, this,
            &DashboardDetailViewPresenter::handleOperatingChanged);
    connect(m_controller.get(), &SnapshotMenuController::statusChanged, this, &DashboardDetailViewPresenter::changed);
    connect(m_controller.get(), &SnapshotMenuController::snapshotSummariesChanged, this,
            &DashboardDetailViewPresenter::handleSummariesChanged);
    // After a restore has launched applications, the inactive-applications list is current.
    connect(m_controller.get(), &SnapshotMenuController::restoreCompletionIDChanged, this,
            [this](const QUuid& id) {
                if (!id.isNull())
                    refreshRunningApplications();
            });
    connect(m_permissionCoordinator.get(), &PermissionCoordinator::authorizationStateChanged, this,
            [this](AccessibilityAuthorizationState state) {
                // Only a pane on screen follows the state; one that appears later reads it then.
                if (m_isVisible)
                    handleDashboardAuthorizationState(state);
                Q_EMIT changed();
            });
    connect(m_permissionRouter.get(), &PermissionInterventionRouter::showsDashboardPermissionEducationChanged, this,
            [this](bool shows) {
                if (!shows)
                    m_hasOpenedDashboardPermissionSettings = false;
                // A face change removes the header, and with it any rename or capture.
                if (contentPreference() != DashboardDetailContentPreference::selectedLayout) {
                    endRename();
                    endHotkeyCapture();
                }
                Q_EMIT changed();
            });
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive)
                applicationDidBecomeActive();
        });
}

DashboardDetailViewPresenter::~DashboardDetailViewPresenter()
{
    cancel(m_permissionSuccessTask);
    cancel(m_pollTask);
    // A pane torn down in the middle of a capture must not leave the shortcuts suspended.
    if (m_hasSuspendedHotkeys)
        (void)m_controller->setHotkeyCaptureActive(false);
}

void DashboardDetailViewPresenter::setActions(Actions actions)
{
    m_actions = std::move(actions);
}

// MARK: Selection and requests

void DashboardDetailViewPresenter::setSelection(std::optional<QUuid> selectedSnapshotID,
                                                std::optional<Snapshot> selectedSnapshot,
                                                std::optional<SnapshotSummary> selectedSummary, bool snapshotDue)
{
    const auto shownID = [this]() -> std::optional<QUuid> {
        if (contentPreference() != DashboardDetailContentPreference::selectedLayout)
            return std::nullopt;
        return m_selectedSummary->id;
    };
    const auto oldShownID = shownID();
    const auto oldSummaryID = m_selectedSummary ? std::optional(m_selectedSummary->id) : std::nullopt;
    const bool selectionChanged = selectedSnapshotID != m_selectedSnapshotID;
    // The dashboard passes its selection on every change it hears of; a layout counts as given
    // anew when it is another one or its file was written since.
    if (selectionChanged || shownStamp(selectedSnapshot) != shownStamp(m_selectedSnapshot))
        ++m_selectionRevision;

    m_selectedSnapshotID = std::move(selectedSnapshotID);
    m_selectedSnapshot = std::move(selectedSnapshot);
    m_selectedSummary = std::move(selectedSummary);
    m_snapshotDue = snapshotDue && !m_selectedSnapshot;

    const auto newSummaryID = m_selectedSummary ? std::optional(m_selectedSummary->id) : std::nullopt;
    if (shownID() != oldShownID) {
        endRename();
        endHotkeyCapture();
    } else if (newSummaryID != oldSummaryID && m_editingHotkeySnapshotID) {
        endHotkeyCapture();
    }
    if (selectionChanged)
        m_hasOpenedDashboardPermissionSettings = false;
    Q_EMIT changed();
}

void DashboardDetailViewPresenter::setInlineRenameRequestID(std::optional<QUuid> requestID)
{
    if (requestID == m_inlineRenameRequestID)
        return;
    m_inlineRenameRequestID = requestID;
    // Only the header of a shown layout listens; a request made while another face shows is
    // not kept for later.
    if (requestID && contentPreference() == DashboardDetailContentPreference::selectedLayout)
        beginInlineRename();
}

void DashboardDetailViewPresenter::setHotkeyEditRequestID(std::optional<QUuid> requestID)
{
    if (requestID == m_hotkeyEditRequestID)
        return;
    m_hotkeyEditRequestID = requestID;
    if (requestID && contentPreference() == DashboardDetailContentPreference::selectedLayout)
        beginHotkeyEditing(m_selectedSummary->id);
}

void DashboardDetailViewPresenter::appeared()
{
    m_isVisible = true;
    refreshRunningApplications();
    handleDashboardAuthorizationState(m_permissionCoordinator->authorizationState());
    schedulePoll();
    Q_EMIT changed();
}

void DashboardDetailViewPresenter::disappeared()
{
    m_isVisible = false;
    endHotkeyCapture();
    cancel(m_permissionSuccessTask);
    cancel(m_pollTask);
    m_hasOpenedDashboardPermissionSettings = false;
    Q_EMIT changed();
}

void DashboardDetailViewPresenter::applicationDidBecomeActive()
{
    if (m_hasOpenedDashboardPermissionSettings) {
        m_hasOpenedDashboardPermissionSettings = false;
        Q_EMIT changed();
    }
}

// MARK: What the pane shows

DashboardDetailContentPreference DashboardDetailViewPresenter::contentPreference() const
{
    // A layout whose reading is due shows from its list entry meanwhile.
    return resolveDashboardDetailContent(m_permissionRouter->showsDashboardPermissionEducation(),
                                         (m_selectedSnapshot.has_value() || m_snapshotDue)
                                             && m_selectedSummary.has_value());
}

bool DashboardDetailViewPresenter::isActionLocked() const
{
    return m_bootstrapErrorMessage.has_value() || m_controller->isOperating();
}

bool DashboardDetailViewPresenter::showsAccessibilityIssueBanner() const
{
    return m_permissionCoordinator->authorizationState() != AccessibilityAuthorizationState::authorized
           && !m_permissionRouter->showsDashboardPermissionEducation();
}

bool DashboardDetailViewPresenter::educationShowsSuccess() const
{
    return m_permissionCoordinator->authorizationState() == AccessibilityAuthorizationState::authorized;
}

std::vector<DashboardDetailIssue> DashboardDetailViewPresenter::issues() const
{
    using Kind = DashboardDetailIssue::Kind;
    std::vector<DashboardDetailIssue> result;
    if (m_bootstrapErrorMessage)
        result.push_back({Kind::storageSetupFailed, QStringLiteral("Storage Setup Failed"), *m_bootstrapErrorMessage,
                          QStringLiteral("externaldrive.badge.exclamationmark"), {}});
    if (showsAccessibilityIssueBanner())
        result.push_back({Kind::accessibilityRequired, DesktopWords::windowAccess + QStringLiteral(" Required"),
                          QStringLiteral("Saving or restoring layouts needs %1.").arg(DesktopWords::windowAccessNeeds),
                          QStringLiteral("hand.raised.fill"), OnboardingStrings::openAccessSettingsTitle()});
    if (const auto& status = m_controller->status(); status && status->isError())
        result.push_back({Kind::layoutActionFailed, QStringLiteral("Layout Action Failed"), status->message,
                          QStringLiteral("exclamationmark.triangle.fill"), {}});
    return result;
}

std::vector<UnavailableHotkey> DashboardDetailViewPresenter::unavailableHotkeys(const QUuid& id) const
{
    std::vector<UnavailableHotkey> result;
    for (const auto& summary : m_controller->snapshotSummaries())
        if (summary.id != id && summary.hotkey)
            result.push_back({*summary.hotkey, summary.name});
    return result;
}

QString DashboardDetailViewPresenter::hotkeyCardText(const std::optional<HotkeyBinding>& hotkey)
{
    if (!hotkey)
        return QStringLiteral("None");
    return zen::hotkeyText(*hotkey);
}

void DashboardDetailViewPresenter::refreshRunningApplications()
{
    // Reading the desktop's applications means a round of requests to the X server, which
    // a restore in progress may be holding: it is done off the main thread.
    if (m_isReadingApplications) {
        m_readAgain = true;
        return;
    }
    m_isReadingApplications = true;
    auto result = std::make_shared<QSet<QString>>();
    auto source = m_options.runningBundleIdentifiers;
    m_options.scheduler->runInBackground(
        this, [result, source] { *result = source(); },
        [this, result] {
            m_isReadingApplications = false;
            if (*result != m_runningBundleIdentifiers) {
                m_runningBundleIdentifiers = std::move(*result);
                Q_EMIT changed();
            }
            if (std::exchange(m_readAgain, false))
                refreshRunningApplications();
        });
}

void DashboardDetailViewPresenter::schedulePoll()
{
    if (m_options.runningApplicationsPollInterval.count() <= 0 || !m_isVisible)
        return;
    cancel(m_pollTask);
    QPointer<DashboardDetailViewPresenter> guard(this);
    m_pollTask = m_options.scheduler->runAfter(m_options.runningApplicationsPollInterval, [guard] {
        if (!guard || !guard->m_isVisible)
            return;
        guard->refreshRunningApplications();
        guard->schedulePoll();
    });
}

// MARK: Rename in place

void DashboardDetailViewPresenter::beginInlineRename()
{
    if (isActionLocked() || contentPreference() != DashboardDetailContentPreference::selectedLayout)
        return;
    m_editingSnapshotID = m_selectedSummary->id;
    m_draftSnapshotName = m_selectedSnapshot ? m_selectedSnapshot->name : m_selectedSummary->name;
    m_renameCommitPending = false;
    Q_EMIT changed();
    Q_EMIT titleFieldFocusRequested();
}

void DashboardDetailViewPresenter::setDraftSnapshotName(const QString& draft)
{
    m_draftSnapshotName = draft;
}

void DashboardDetailViewPresenter::commitInlineRename()
{
    if (!m_editingSnapshotID || !m_selectedSummary || *m_editingSnapshotID != m_selectedSummary->id)
        return;
    if (m_controller->isOperating()) {
        m_renameCommitPending = true;
        Q_EMIT changed();
        return;
    }
    m_renameCommitPending = false;
    const bool accepted = m_actions.renameSnapshotInline
                          && m_actions.renameSnapshotInline(*m_editingSnapshotID, m_draftSnapshotName);
    if (accepted) {
        m_editingSnapshotID.reset();
        Q_EMIT changed();
        return;
    }
    // Refused: the controller's status says why; the typed text stays for the user to fix.
    Q_EMIT changed();
    Q_EMIT titleFieldFocusRequested();
}

void DashboardDetailViewPresenter::cancelInlineRename()
{
    endRename();
    Q_EMIT changed();
}

void DashboardDetailViewPresenter::endRename()
{
    m_editingSnapshotID.reset();
    m_draftSnapshotName.clear();
    m_renameCommitPending = false;
}

// MARK: Hotkey capture in place

void DashboardDetailViewPresenter::beginHotkeyEditing(const QUuid& id)
{
    if (isActionLocked())
        return;
    // Suspensions nest until each is given back: a pane already capturing keeps the one it holds.
    if (!m_hasSuspendedHotkeys && m_controller->setHotkeyCaptureActive(true)) {
        // The controller shows the error. Whatever part of the suspension took effect is
        // undone, so a capture that never started cannot leave the shortcuts off.
        (void)m_controller->setHotkeyCaptureActive(false);
        m_hasSuspendedHotkeys = false;
        Q_EMIT changed();
        return;
    }
    m_hasSuspendedHotkeys = true;
    if (m_editingHotkeySnapshotID != id)
        m_pendingHotkey.reset();
    m_editingHotkeySnapshotID = id;
    m_hotkeyCaptureError.reset();
    Q_EMIT changed();
}

void DashboardDetailViewPresenter::handleCaptureKey(const HotkeyCaptureKeyEvent& event)
{
    if (!m_editingHotkeySnapshotID)
        return;
    const QUuid id = *m_editingHotkeySnapshotID;
    const auto judgement = judgeHotkeyPress(event, unavailableHotkeys(id));
    switch (judgement.kind) {
    case HotkeyCaptureJudgement::Kind::cancel:
        cancelHotkeyEditing();
        break;
    case HotkeyCaptureJudgement::Kind::ignore:
        break;
    case HotkeyCaptureJudgement::Kind::refuse:
        setHotkeyCaptureError(judgement.message);
        break;
    case HotkeyCaptureJudgement::Kind::capture:
        commitHotkeyCapture(*judgement.binding, id);
        break;
    }
}

void DashboardDetailViewPresenter::commitHotkeyCapture(const HotkeyBinding& binding, const QUuid& id)
{
    if (m_editingHotkeySnapshotID != id)
        return;
    if (m_controller->isOperating()) {
        // A save or update running now would write the layout it read before this change.
        m_pendingHotkey = std::pair(binding, id);
        Q_EMIT changed();
        return;
    }
    m_pendingHotkey.reset();
    if (m_controller->setHotkey(binding, id))
        endHotkeyCapture();
    Q_EMIT changed();
}

void DashboardDetailViewPresenter::cancelHotkeyEditing()
{
    endHotkeyCapture();
    Q_EMIT changed();
}

void DashboardDetailViewPresenter::endHotkeyCapture()
{
    m_editingHotkeySnapshotID.reset();
    m_hotkeyCaptureError.reset();
    m_pendingHotkey.reset();
    if (m_hasSuspendedHotkeys) {
        m_hasSuspendedHotkeys = false;
        // A failure to register again is the controller's error status; capture ends anyway.
        (void)m_controller->setHotkeyCaptureActive(false);
    }
}

void DashboardDetailViewPresenter::setHotkeyCaptureError(std::optional<QString> message)
{
    if (m_hotkeyCaptureError == message)
        return;
    m_hotkeyCaptureError = std::move(message);
    Q_EMIT changed();
}

// MARK: Controller changes

void DashboardDetailViewPresenter::handleOperatingChanged(bool isOperating)
{
    if (!isOperating) {
        // Commits held back while the operation ran go through now, in the order they were made.
        if (m_renameCommitPending) {
            m_renameCommitPending = false;
            commitInlineRename();
        }
        if (auto pending = std::exchange(m_pendingHotkey, std::nullopt))
            commitHotkeyCapture(pending->first, pending->second);
    }
    Q_EMIT changed();
}

void DashboardDetailViewPresenter::handleSummariesChanged()
{
    const auto& summaries = m_controller->snapshotSummaries();
    // A layout deleted while it is being edited ends the edit; the capture gives the shortcuts back.
    if (m_editingHotkeySnapshotID && !listed(summaries, *m_editingHotkeySnapshotID))
        endHotkeyCapture();
    if (m_editingSnapshotID && !listed(summaries, *m_editingSnapshotID))
        endRename();
    Q_EMIT changed();
}

// MARK: Permission education

void DashboardDetailViewPresenter::openAccessibilitySettingsFromEducation()
{
    m_hasOpenedDashboardPermissionSettings = true;
    Q_EMIT changed();
    m_permissionCoordinator->openAccessibilitySettings();
}

void DashboardDetailViewPresenter::checkAgain()
{
    const auto state = m_permissionCoordinator->refreshTrust(PermissionCoordinator::RefreshTrigger::manualCheckAgain);
    handleDashboardAuthorizationState(state);
    Q_EMIT changed();
}

void DashboardDetailViewPresenter::dismissDashboardPermissionEducation()
{
    m_hasOpenedDashboardPermissionSettings = false;
    m_permissionRouter->setShowsDashboardPermissionEducation(false);
    Q_EMIT changed();
}

void DashboardDetailViewPresenter::openPermissionsFromBanner()
{
    m_permissionCoordinator->openAccessibilitySettings();
}

void DashboardDetailViewPresenter::handleDashboardAuthorizationState(AccessibilityAuthorizationState state)
{
    if (!m_permissionRouter->showsDashboardPermissionEducation())
        return;
    cancel(m_permissionSuccessTask);
    if (state != AccessibilityAuthorizationState::authorized) {
        m_hasOpenedDashboardPermissionSettings = false;
        return;
    }
    // The success face shows for a moment before the pane moves on to the layout.
    QPointer<DashboardDetailViewPresenter> guard(this);
    m_permissionSuccessTask = m_options.scheduler->runAfter(m_options.permissionSuccessDelay, [guard] {
        if (!guard)
            return;
        guard->m_permissionSuccessTask.reset();
        guard->m_permissionRouter->setShowsDashboardPermissionEducation(false);
        guard->m_hasOpenedDashboardPermissionSettings = false;
        Q_EMIT guard->changed();
    });
}

} // namespace zen
