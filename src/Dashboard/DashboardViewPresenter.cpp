#include "Dashboard/DashboardViewPresenter.h"

#include "Dashboard/DashboardAppIdentityResolver.h"
#include "MenuBar/SnapshotMenuController.h"
#include "Permissions/PermissionInterventionRouter.h"

#include <QPointer>

#include <algorithm>

namespace zen {

namespace {

bool lists(const std::vector<SnapshotSummary>& summaries, const QUuid& id)
{
    return std::any_of(summaries.begin(), summaries.end(), [&](const SnapshotSummary& s) { return s.id == id; });
}

} // namespace

DashboardViewPresenter::DashboardViewPresenter(std::optional<QString> bootstrapErrorMessage,
                                               std::shared_ptr<PermissionInterventionRouter> permissionRouter,
                                               std::shared_ptr<SnapshotMenuController> snapshotMenuController,
                                               IdentityResolver identityResolver, QObject* parent)
    : QObject(parent)
    , m_bootstrapErrorMessage(std::move(bootstrapErrorMessage))
    , m_permissionRouter(std::move(permissionRouter))
    , m_controller(std::move(snapshotMenuController))
    , m_identityResolver(std::move(identityResolver))
{
    if (!m_identityResolver)
        m_identityResolver = [](const QString& bundleIdentifier) {
            return DashboardAppIdentityResolver::shared().identity(bundleIdentifier);
        };
    auto* controller = m_controller.get();
    connect(controller, &SnapshotMenuController::snapshotSummariesChanged, this,
            &DashboardViewPresenter::summariesPublished);
    connect(controller, &SnapshotMenuController::lastCapturedSnapshotIDChanged, this,
            &DashboardViewPresenter::snapshotCaptured);
    connect(controller, &SnapshotMenuController::isOperatingChanged, this, &DashboardViewPresenter::changed);
    connect(controller, &SnapshotMenuController::statusChanged, this, &DashboardViewPresenter::changed);
    connect(m_permissionRouter.get(), &PermissionInterventionRouter::showsDashboardPermissionEducationChanged, this,
            &DashboardViewPresenter::changed);
}

DashboardViewPresenter::~DashboardViewPresenter() = default;

const std::vector<SnapshotSummary>& DashboardViewPresenter::snapshotSummaries() const
{
    return m_controller->snapshotSummaries();
}

std::optional<SnapshotSummary> DashboardViewPresenter::selectedSummary() const
{
    if (!m_selectedSnapshotID)
        return std::nullopt;
    for (const auto& summary : snapshotSummaries())
        if (summary.id == *m_selectedSnapshotID)
            return summary;
    return std::nullopt;
}

bool DashboardViewPresenter::isSnapshotActionDisabled() const
{
    return m_bootstrapErrorMessage.has_value() || m_controller->isOperating();
}

DashboardCommandContext DashboardViewPresenter::commandContext()
{
    const auto summary = selectedSummary();
    DashboardCommandContext context;
    context.availability = DashboardCommandAvailability::make(isSnapshotActionDisabled(), summary.has_value(),
                                                              summary && summary->hotkey.has_value());
    // The menu may outlive the window: a released presenter makes every action a no-op.
    const QPointer<DashboardViewPresenter> self(this);
    const auto bind = [self](void (DashboardViewPresenter::*action)()) {
        return [self, action] {
            if (self)
                (self.data()->*action)();
        };
    };
    context.createLayout = bind(&DashboardViewPresenter::saveSnapshot);
    context.restoreLayout = bind(&DashboardViewPresenter::restoreSelectedSnapshot);
    context.updateLayout = bind(&DashboardViewPresenter::requestUpdateOfSelectedSnapshot);
    context.renameLayout = bind(&DashboardViewPresenter::requestInlineRenameForSelectedSnapshot);
    context.assignHotkey = bind(&DashboardViewPresenter::assignHotkeyToSelectedSnapshot);
    context.clearHotkey = bind(&DashboardViewPresenter::clearHotkeyOfSelectedSnapshot);
    context.deleteLayout = bind(&DashboardViewPresenter::requestDeletionOfSelectedSnapshot);
    return context;
}

QString DashboardViewPresenter::updateConfirmationMessage() const
{
    if (!m_pendingUpdate)
        return QStringLiteral(
            "This replaces the saved windows with the current window state. The layout name and hotkey will be kept.");
    return QStringLiteral("Replace the saved windows in \"%1\" with the current window state? The layout name and "
                          "hotkey will be kept.")
        .arg(m_pendingUpdate->name);
}

QString DashboardViewPresenter::deleteConfirmationMessage() const
{
    if (!m_pendingDeletion)
        return QStringLiteral("This cannot be undone.");
    return QStringLiteral("Delete \"%1\"? This cannot be undone.").arg(m_pendingDeletion->name);
}

// MARK: Selection

void DashboardViewPresenter::appear()
{
    m_appearing = true;
    reconcileSelection(snapshotSummaries());
    m_appearing = false;
    refreshSelectedSnapshot();
    Q_EMIT focusLayoutListRequested();
}

void DashboardViewPresenter::reappear()
{
    const auto& summaries = snapshotSummaries();
    m_windowShown = true;
    m_appearing = true;
    reconcileSelection(summaries);
    setSelectedID(summaries.empty() ? std::nullopt : std::optional(summaries.front().id));
    m_appearing = false;
    refreshSelectedSnapshot();
    Q_EMIT focusLayoutListRequested();
}

void DashboardViewPresenter::disappear()
{
    m_windowShown = false;
    if (m_selectedSnapshotID)
        putOffReading();
}

void DashboardViewPresenter::putOffReading()
{
    // A hidden window keeps no layout in memory; the header and the counts come from the list.
    m_selectedSnapshot.reset();
    m_selectedSnapshotDue = true;
    Q_EMIT changed();
}

void DashboardViewPresenter::selectSnapshot(const std::optional<QUuid>& id)
{
    if (id == m_selectedSnapshotID)
        return;
    setSelectedID(id);
    refreshSelectedSnapshot();
}

void DashboardViewPresenter::select(const QUuid& id)
{
    setSelectedID(id);
    refreshSelectedSnapshot();
}

void DashboardViewPresenter::setSelectedID(const std::optional<QUuid>& id)
{
    if (id == m_selectedSnapshotID)
        return;
    m_selectedSnapshotID = id;
    // Choosing another layout hides the permission education of the detail pane.
    if (!m_appearing && m_permissionRouter->showsDashboardPermissionEducation())
        m_permissionRouter->setShowsDashboardPermissionEducation(false);
    // Every caller reads the newly selected layout next and announces the change once it is
    // there: announcing it now would show the selection without its layout for a moment.
}

void DashboardViewPresenter::reconcileSelection(const std::vector<SnapshotSummary>& summaries)
{
    if (summaries.empty()) {
        setSelectedID(std::nullopt);
        setPendingUpdate(std::nullopt);
        setPendingDeletion(std::nullopt);
        setPendingWindowRemoval(std::nullopt);
        return;
    }
    // A confirmation whose layout is gone would act on nothing and end in a not-found error.
    if (m_pendingUpdate && !lists(summaries, m_pendingUpdate->id))
        setPendingUpdate(std::nullopt);
    if (m_pendingDeletion && !lists(summaries, m_pendingDeletion->id))
        setPendingDeletion(std::nullopt);
    if (m_pendingWindowRemoval && !lists(summaries, m_pendingWindowRemoval->snapshotID))
        setPendingWindowRemoval(std::nullopt);

    if (m_selectedSnapshotID && lists(summaries, *m_selectedSnapshotID))
        return;
    setSelectedID(summaries.front().id);
}

void DashboardViewPresenter::refreshSelectedSnapshot()
{
    // A closed window reads nothing; it reads its selection after it is shown again.
    if (!m_windowShown && m_selectedSnapshotID) {
        putOffReading();
        return;
    }
    m_selectedSnapshotDue = false;
    m_selectedSnapshot = m_selectedSnapshotID ? m_controller->loadSnapshot(*m_selectedSnapshotID) : std::nullopt;
    Q_EMIT changed();
}

void DashboardViewPresenter::summariesPublished(const std::vector<SnapshotSummary>& summaries)
{
    reconcileSelection(summaries);
    refreshSelectedSnapshot();
}

void DashboardViewPresenter::snapshotCaptured(const QUuid& id)
{
    if (id.isNull() || !lists(snapshotSummaries(), id))
        return;
    select(id);
    Q_EMIT newLayoutRevealRequested(id);
}

// MARK: Actions

bool DashboardViewPresenter::requestPermission(bool isRestore)
{
    return m_permissionRouter->requestAuthorization(
        isRestore ? PrivilegedActionKind::restoreLayout : PrivilegedActionKind::saveLayout,
        PrivilegedActionSource::dashboard);
}

void DashboardViewPresenter::saveSnapshot()
{
    if (isSnapshotActionDisabled() || !requestPermission(false))
        return;
    m_controller->captureCurrentSnapshot();
}

void DashboardViewPresenter::restoreSelectedSnapshot()
{
    const auto summary = selectedSummary();
    if (!summary || m_bootstrapErrorMessage)
        return;
    // The commands are disabled meanwhile, but Return in the list, or a click queued while a
    // slow machine still finishes the last save, still arrives: it is answered, not dropped.
    if (m_controller->isOperating()) {
        m_controller->setStatus(SnapshotMenuController::Status{
            QStringLiteral("Cannot restore \"%1\" while another layout operation is in progress.").arg(summary->name),
            SnapshotMenuController::Status::Kind::error});
        return;
    }
    if (!requestPermission(true))
        return;
    m_controller->restoreSnapshot(summary->id);
}

void DashboardViewPresenter::requestUpdateOfSelectedSnapshot()
{
    if (isSnapshotActionDisabled())
        return;
    setPendingUpdate(selectedSummary());
}

void DashboardViewPresenter::requestDeletionOfSelectedSnapshot()
{
    if (isSnapshotActionDisabled())
        return;
    setPendingDeletion(selectedSummary());
}

void DashboardViewPresenter::clearHotkeyOfSelectedSnapshot()
{
    const auto summary = selectedSummary();
    if (summary && !isSnapshotActionDisabled())
        m_controller->clearHotkey(summary->id);
}

void DashboardViewPresenter::requestInlineRenameForSelectedSnapshot()
{
    if (!selectedSummary() || isSnapshotActionDisabled())
        return;
    m_inlineRenameRequestID = QUuid::createUuid();
    Q_EMIT inlineRenameRequested(*m_inlineRenameRequestID);
}

void DashboardViewPresenter::assignHotkeyToSelectedSnapshot()
{
    if (!selectedSummary() || isSnapshotActionDisabled())
        return;
    Q_EMIT hotkeyEditRequested(QUuid::createUuid());
}

void DashboardViewPresenter::assignHotkey(const SnapshotSummary& summary)
{
    if (isSnapshotActionDisabled())
        return;
    select(summary.id);
    Q_EMIT hotkeyEditRequested(QUuid::createUuid());
}

void DashboardViewPresenter::deleteSnapshot(const SnapshotSummary& summary)
{
    if (isSnapshotActionDisabled())
        return;
    select(summary.id);
    setPendingDeletion(summary);
}

void DashboardViewPresenter::clearHotkey(const SnapshotSummary& summary)
{
    if (isSnapshotActionDisabled())
        return;
    select(summary.id);
    m_controller->clearHotkey(summary.id);
}

bool DashboardViewPresenter::renameSnapshotInline(const QUuid& id, const QString& newName)
{
    if (isSnapshotActionDisabled())
        return false;
    const bool renamed = m_controller->renameSnapshotInline(id, newName);
    refreshSelectedSnapshot();
    return renamed;
}

void DashboardViewPresenter::requestWindowRemoval(const WindowRecord& window)
{
    const auto summary = selectedSummary();
    if (!m_selectedSnapshotID || !summary || !m_selectedSnapshot)
        return;
    const auto& windows = m_selectedSnapshot->windows;
    if (windows.size() < 2) {
        m_controller->reportLayoutRequiresWindow();
        return;
    }
    // Only a display the layout saved shows in its preview, so only such a display can
    // disappear from it with its last window.
    bool isLastWindowOnDisplay = false;
    if (window.displayID) {
        const auto& displays = m_selectedSnapshot->sourceDisplayState.displays;
        const bool isSavedDisplay = std::any_of(displays.begin(), displays.end(),
                                                [&](const DisplayRecord& d) { return d.id == *window.displayID; });
        const auto onDisplay = std::count_if(windows.begin(), windows.end(), [&](const WindowRecord& w) {
            return w.displayID == window.displayID;
        });
        isLastWindowOnDisplay = isSavedDisplay && onDisplay == 1;
    }
    setPendingWindowRemoval(DashboardWindowRemovalConfirmation{*m_selectedSnapshotID, summary->name,
                                                               m_identityResolver(window.bundleIdentifier), window.id,
                                                               window.windowTitle, isLastWindowOnDisplay});
}

bool DashboardViewPresenter::reorderDisplayWindows(std::uint32_t displayID, const std::vector<QUuid>& orderedWindowIDs)
{
    if (!m_selectedSnapshotID)
        return false;
    const bool reordered = m_controller->reorderWindows(displayID, orderedWindowIDs, *m_selectedSnapshotID);
    refreshSelectedSnapshot();
    return reordered;
}

// MARK: Confirmations

void DashboardViewPresenter::confirmUpdate()
{
    const auto pending = m_pendingUpdate;
    if (pending && requestPermission(false)) {
        select(pending->id);
        m_controller->updateSnapshot(pending->id);
    }
    setPendingUpdate(std::nullopt);
}

void DashboardViewPresenter::cancelUpdate()
{
    setPendingUpdate(std::nullopt);
}

void DashboardViewPresenter::confirmDeletion()
{
    const auto pending = m_pendingDeletion;
    if (pending)
        m_controller->deleteSnapshot(pending->id);
    setPendingDeletion(std::nullopt);
}

void DashboardViewPresenter::cancelDeletion()
{
    setPendingDeletion(std::nullopt);
}

void DashboardViewPresenter::confirmWindowRemoval()
{
    const auto pending = m_pendingWindowRemoval;
    if (pending)
        m_controller->removeWindow(pending->windowID, pending->windowTitle, pending->appName(), pending->snapshotID);
    setPendingWindowRemoval(std::nullopt);
    refreshSelectedSnapshot();
}

void DashboardViewPresenter::cancelWindowRemoval()
{
    setPendingWindowRemoval(std::nullopt);
}

void DashboardViewPresenter::setPendingUpdate(std::optional<SnapshotSummary> value)
{
    if (!value && !m_pendingUpdate)
        return;
    m_pendingUpdate = std::move(value);
    Q_EMIT pendingUpdateChanged();
}

void DashboardViewPresenter::setPendingDeletion(std::optional<SnapshotSummary> value)
{
    if (!value && !m_pendingDeletion)
        return;
    m_pendingDeletion = std::move(value);
    Q_EMIT pendingDeletionChanged();
}

void DashboardViewPresenter::setPendingWindowRemoval(std::optional<DashboardWindowRemovalConfirmation> value)
{
    if (!value && !m_pendingWindowRemoval)
        return;
    m_pendingWindowRemoval = std::move(value);
    Q_EMIT pendingWindowRemovalChanged();
}

} // namespace zen
