#pragma once

#include "Dashboard/DashboardAppIdentity.h"
#include "Dashboard/DashboardCommandContext.h"
#include "Dashboard/DashboardWindowRemovalConfirmation.h"
#include "Snapshots/Snapshot.h"
#include "Snapshots/SnapshotSummary.h"

#include <QObject>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zen {

class PermissionInterventionRouter;
class SnapshotMenuController;

// The dashboard window's rules, kept apart from its widgets: which layout is selected, the
// confirmations waiting for an answer, the permission gate before anything that reads or moves
// windows, and the Layout menu's context. Every change goes through the layout-operations
// controller, whose published list is the only source of layouts; after each change of that
// list the selection is reconciled with it and the selected layout is reloaded. Main thread.
class DashboardViewPresenter : public QObject {
    Q_OBJECT
public:
    using IdentityResolver = std::function<DashboardAppIdentity(const QString& bundleIdentifier)>;

    // A null resolver means the process-wide one.
    DashboardViewPresenter(std::optional<QString> bootstrapErrorMessage,
                           std::shared_ptr<PermissionInterventionRouter> permissionRouter,
                           std::shared_ptr<SnapshotMenuController> snapshotMenuController,
                           IdentityResolver identityResolver = {}, QObject* parent = nullptr);
    ~DashboardViewPresenter() override;

    const std::optional<QString>& bootstrapErrorMessage() const { return m_bootstrapErrorMessage; }
    const std::shared_ptr<PermissionInterventionRouter>& permissionRouter() const { return m_permissionRouter; }
    const std::shared_ptr<SnapshotMenuController>& snapshotMenuController() const { return m_controller; }

    // The published layout list, in the sidebar's order.
    const std::vector<SnapshotSummary>& snapshotSummaries() const;
    const std::optional<QUuid>& selectedSnapshotID() const { return m_selectedSnapshotID; }
    const std::optional<Snapshot>& selectedSnapshot() const { return m_selectedSnapshot; }
    // The listed entry of the selection; absent when nothing is selected or it is not listed.
    std::optional<SnapshotSummary> selectedSummary() const;
    const std::optional<SnapshotSummary>& pendingUpdate() const { return m_pendingUpdate; }
    const std::optional<SnapshotSummary>& pendingDeletion() const { return m_pendingDeletion; }
    const std::optional<DashboardWindowRemovalConfirmation>& pendingWindowRemoval() const
    {
        return m_pendingWindowRemoval;
    }
    // The last fresh id that asked the detail pane to start renaming.
    const std::optional<QUuid>& inlineRenameRequestID() const { return m_inlineRenameRequestID; }

    // True while storage is unavailable or a save, update or restore runs.
    bool isSnapshotActionDisabled() const;
    DashboardCommandContext commandContext();

    QString updateConfirmationMessage() const;
    QString deleteConfirmationMessage() const;

    // The window appeared: select the first layout when none is, load it, focus the list. The
    // layout is read before the window's first frame, so that frame shows all of it.
    void appear();
    // The window closed: the layout read for the selection goes, and none is read while the
    // window is hidden.
    void disappear();
    // The window shows again after it was closed: as in a new window, the first layout is
    // selected and read, and the list focused.
    void reappear();
    // True while the window is hidden and its selected layout waits to be read.
    bool isSelectedSnapshotDue() const { return m_selectedSnapshotDue; }
    // The list's own selection (a click or the keyboard).
    void selectSnapshot(const std::optional<QUuid>& id);

    // Actions of the sidebar, the Layout menu and the detail pane.
    void saveSnapshot();
    void restoreSelectedSnapshot();
    void requestUpdateOfSelectedSnapshot();
    void requestDeletionOfSelectedSnapshot();
    void clearHotkeyOfSelectedSnapshot();
    void requestInlineRenameForSelectedSnapshot();
    void assignHotkeyToSelectedSnapshot();
    // Row actions: each first selects the row's layout.
    void assignHotkey(const SnapshotSummary& summary);
    void deleteSnapshot(const SnapshotSummary& summary);
    void clearHotkey(const SnapshotSummary& summary);
    // The controller's answer: true when the name was taken.
    bool renameSnapshotInline(const QUuid& id, const QString& newName);
    void requestWindowRemoval(const WindowRecord& window);
    bool reorderDisplayWindows(std::uint32_t displayID, const std::vector<QUuid>& orderedWindowIDs);

    // Answers to the confirmations.
    void confirmUpdate();
    void cancelUpdate();
    void confirmDeletion();
    void cancelDeletion();
    void confirmWindowRemoval();
    void cancelWindowRemoval();

Q_SIGNALS:
    // Anything the window shows may have changed.
    void changed();
    void pendingUpdateChanged();
    void pendingDeletionChanged();
    void pendingWindowRemovalChanged();
    void focusLayoutListRequested();
    // A new layout was saved and selected: focus the list and scroll its row to the top.
    void newLayoutRevealRequested(const QUuid& id);
    // Fresh ids ask the detail pane to start renaming or capturing a hotkey.
    void inlineRenameRequested(const QUuid& requestID);
    void hotkeyEditRequested(const QUuid& requestID);

private:
    bool requestPermission(bool isRestore);
    void reconcileSelection(const std::vector<SnapshotSummary>& summaries);
    void refreshSelectedSnapshot();
    void putOffReading();
    // Selects the layout and loads it.
    void select(const QUuid& id);
    void setSelectedID(const std::optional<QUuid>& id);
    void setPendingUpdate(std::optional<SnapshotSummary> value);
    void setPendingDeletion(std::optional<SnapshotSummary> value);
    void setPendingWindowRemoval(std::optional<DashboardWindowRemovalConfirmation> value);
    void summariesPublished(const std::vector<SnapshotSummary>& summaries);
    void snapshotCaptured(const QUuid& id);

    std::optional<QString> m_bootstrapErrorMessage;
    std::shared_ptr<PermissionInterventionRouter> m_permissionRouter;
    std::shared_ptr<SnapshotMenuController> m_controller;
    IdentityResolver m_identityResolver;

    std::optional<QUuid> m_selectedSnapshotID;
    std::optional<Snapshot> m_selectedSnapshot;
    std::optional<SnapshotSummary> m_pendingUpdate;
    std::optional<SnapshotSummary> m_pendingDeletion;
    std::optional<DashboardWindowRemovalConfirmation> m_pendingWindowRemoval;
    std::optional<QUuid> m_inlineRenameRequestID;
    bool m_appearing = false;
    bool m_windowShown = true;
    bool m_selectedSnapshotDue = false;
};

} // namespace zen
