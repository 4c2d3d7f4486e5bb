#pragma once

#include "Hotkeys/HotkeyCapturePrompt.h"
#include "Dashboard/DashboardDetailContentPreference.h"
#include "MenuBar/OperationScheduler.h"
#include "Permissions/AccessibilityTrustChecker.h"
#include "Snapshots/Snapshot.h"
#include "Snapshots/SnapshotSummary.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <QSet>
#include <vector>

namespace zen {

class PermissionCoordinator;
class PermissionInterventionRouter;
class SnapshotMenuController;

// One issue shown above the detail pane's content.
struct DashboardDetailIssue {
    enum class Kind { storageSetupFailed, accessibilityRequired, layoutActionFailed };
    Kind kind;
    QString title;
    QString message;
    QString systemImage;
    QString actionTitle; // empty: the banner has no action
    friend bool operator==(const DashboardDetailIssue&, const DashboardDetailIssue&) = default;
};

// The rules of the dashboard's detail pane, apart from its widgets: which face it shows, the
// issue banners, the in-place rename, the in-place hotkey capture (with the global shortcuts
// suspended meanwhile), the running applications and the short wait after access is granted.
// It never touches the layout store: renames and layout actions go to the dashboard's closures,
// hotkey changes to the layout-operations controller. Main thread only.
class DashboardDetailViewPresenter : public QObject {
    Q_OBJECT
public:
    // What the dashboard does on the pane's behalf (each may be empty).
    struct Actions {
        std::function<bool(const QUuid& id, const QString& name)> renameSnapshotInline;
        std::function<void()> clearHotkey;
        std::function<void()> deleteSnapshot;
        std::function<void(const WindowRecord& window)> removeWindow;
        std::function<bool(std::uint32_t displayID, const std::vector<QUuid>& orderedWindowIDs)> reorderWindows;
        std::function<void()> updateSnapshot;
        std::function<void()> restoreSnapshot;
        std::function<void()> saveSnapshot;
    };

    using RunningApplicationsSource = std::function<QSet<QString>()>;

    struct Options {
        std::shared_ptr<OperationScheduler> scheduler; // QtOperationScheduler
        // The live workspace's applications; called on a worker thread.
        RunningApplicationsSource runningBundleIdentifiers;
        // How long the success face stays once access is granted.
        std::chrono::milliseconds permissionSuccessDelay{800};
        // Applications starting and quitting show up no later than this while the pane is on
        // screen; the desktop announces no such event of its own. Zero: no polling.
        std::chrono::milliseconds runningApplicationsPollInterval{2000};
    };

    DashboardDetailViewPresenter(std::optional<QString> bootstrapErrorMessage,
                                 std::shared_ptr<PermissionCoordinator> permissionCoordinator,
                                 std::shared_ptr<PermissionInterventionRouter> permissionRouter,
                                 std::shared_ptr<SnapshotMenuController> snapshotMenuController, Actions actions,
                                 Options options, QObject* parent = nullptr);
    ~DashboardDetailViewPresenter() override;

    // MARK: What the dashboard tells the pane

    void setActions(Actions actions);
    // The sidebar's selection with its stored layout (absent when loading failed) and list entry.
    // `snapshotDue`: the layout is read later; until then the pane shows it from its list entry.
    void setSelection(std::optional<QUuid> selectedSnapshotID, std::optional<Snapshot> selectedSnapshot,
                      std::optional<SnapshotSummary> selectedSummary, bool snapshotDue = false);
    // Each new id asks the shown layout's header to begin renaming / capturing; an id acts once,
    // and only while a layout is shown.
    void setInlineRenameRequestID(std::optional<QUuid> requestID);
    void setHotkeyEditRequestID(std::optional<QUuid> requestID);
    void appeared();
    void disappeared();
    void applicationDidBecomeActive();

    // MARK: What the pane shows

    DashboardDetailContentPreference contentPreference() const;
    std::vector<DashboardDetailIssue> issues() const;
    bool isActionLocked() const;
    bool showsAccessibilityIssueBanner() const;
    bool educationShowsSuccess() const;
    bool hasOpenedDashboardPermissionSettings() const { return m_hasOpenedDashboardPermissionSettings; }
    const std::optional<QString>& bootstrapErrorMessage() const { return m_bootstrapErrorMessage; }
    const std::optional<QUuid>& selectedSnapshotID() const { return m_selectedSnapshotID; }
    const std::optional<Snapshot>& selectedSnapshot() const { return m_selectedSnapshot; }
    const std::optional<SnapshotSummary>& selectedSummary() const { return m_selectedSummary; }
    const QSet<QString>& runningBundleIdentifiers() const { return m_runningBundleIdentifiers; }
    const Actions& actions() const { return m_actions; }
    // Grows whenever the shown layout is another one or was written since, so views redraw
    // the layout only then.
    quint64 selectionRevision() const { return m_selectionRevision; }

    // The other layouts' hotkeys, in list order.
    std::vector<UnavailableHotkey> unavailableHotkeys(const QUuid& id) const;
    // The shortcut as this desktop writes it ("Super+Shift+K"); "None" without a hotkey.
    static QString hotkeyCardText(const std::optional<HotkeyBinding>& hotkey);

    // MARK: Rename in place

    const std::optional<QUuid>& editingSnapshotID() const { return m_editingSnapshotID; }
    const QString& draftSnapshotName() const { return m_draftSnapshotName; }
    bool isRenameCommitPending() const { return m_renameCommitPending; }
    void beginInlineRename();
    void setDraftSnapshotName(const QString& draft);
    // Return in the field. While a save, update or restore runs the field stays open and the
    // rename is made once it has finished, so that the operation's own save cannot undo it.
    void commitInlineRename();
    void cancelInlineRename();

    // MARK: Hotkey capture in place

    const std::optional<QUuid>& editingHotkeySnapshotID() const { return m_editingHotkeySnapshotID; }
    const std::optional<QString>& hotkeyCaptureError() const { return m_hotkeyCaptureError; }
    bool isHotkeyCommitPending() const { return m_pendingHotkey.has_value(); }
    void beginHotkeyEditing(const QUuid& id);
    // A key press in the capture field, judged as the capture prompt judges it.
    void handleCaptureKey(const HotkeyCaptureKeyEvent& event);
    // An accepted combination; held back like a rename while an operation runs.
    void commitHotkeyCapture(const HotkeyBinding& binding, const QUuid& id);
    void cancelHotkeyEditing();
    void setHotkeyCaptureError(std::optional<QString> message);

    // MARK: Permission education

    void openAccessibilitySettingsFromEducation();
    void checkAgain();
    void dismissDashboardPermissionEducation();
    void handleDashboardAuthorizationState(AccessibilityAuthorizationState state);
    bool isPermissionSuccessWaitPending() const { return m_permissionSuccessTask != nullptr; }
    // The accessibility banner's button, which opens the access help as the guide's does.
    void openPermissionsFromBanner();

    void refreshRunningApplications();

Q_SIGNALS:
    // Anything shown changed; the widget renders again.
    void changed();
    // The rename field should take the keyboard focus.
    void titleFieldFocusRequested();

private:
    void endRename();
    void endHotkeyCapture();
    void handleOperatingChanged(bool isOperating);
    void handleSummariesChanged();
    void schedulePoll();

    std::optional<QString> m_bootstrapErrorMessage;
    std::shared_ptr<PermissionCoordinator> m_permissionCoordinator;
    std::shared_ptr<PermissionInterventionRouter> m_permissionRouter;
    std::shared_ptr<SnapshotMenuController> m_controller;
    Actions m_actions;
    Options m_options;

    std::optional<QUuid> m_selectedSnapshotID;
    std::optional<Snapshot> m_selectedSnapshot;
    std::optional<SnapshotSummary> m_selectedSummary;
    bool m_snapshotDue = false;
    quint64 m_selectionRevision = 0;
    std::optional<QUuid> m_inlineRenameRequestID;
    std::optional<QUuid> m_hotkeyEditRequestID;

    std::optional<QUuid> m_editingSnapshotID;
    QString m_draftSnapshotName;
    bool m_renameCommitPending = false;
    std::optional<QUuid> m_editingHotkeySnapshotID;
    std::optional<QString> m_hotkeyCaptureError;
    std::optional<std::pair<HotkeyBinding, QUuid>> m_pendingHotkey;
    // Whether this pane asked the controller to suspend the global shortcuts and has not yet
    // asked it to resume them.
    bool m_hasSuspendedHotkeys = false;
    QSet<QString> m_runningBundleIdentifiers;
    bool m_isReadingApplications = false;
    bool m_readAgain = false;
    std::unique_ptr<OperationScheduler::Handle> m_permissionSuccessTask;
    bool m_hasOpenedDashboardPermissionSettings = false;
    bool m_isVisible = false;
    std::unique_ptr<OperationScheduler::Handle> m_pollTask;
};

} // namespace zen
