#pragma once

#include "Dashboard/DashboardCommands.h"
#include "Dashboard/DashboardWindowRemovalConfirmationView.h"
#include "MenuBar/OperationScheduler.h"

#include <QDateTime>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QMenu;
class QSplitter;
class QStackedWidget;

namespace zen {

class AppUpdateController;
class DashboardSnapshotListModel;
class DashboardSnapshotListView;
class DashboardViewPresenter;
class DashboardWindowObserver;
class PermissionCoordinator;
class PermissionInterventionRouter;
class SidebarActionButton;
class SnapshotMenuController;
class UserDefaults;

// The dashboard window: the sidebar of saved layouts with "New Layout", "Update Available"
// and "Settings", the detail pane of the selected layout, the confirmations, and the menu bar
// with the Layout commands. Its rules live in DashboardViewPresenter; the window renders the
// presenter's state and forwards the user's gestures. Closing it does not end the program.
class DashboardView : public QMainWindow {
    Q_OBJECT
public:
    struct Dependencies {
        std::optional<QString> bootstrapErrorMessage;
        std::shared_ptr<PermissionCoordinator> permissionCoordinator;
        std::shared_ptr<PermissionInterventionRouter> permissionRouter;
        std::shared_ptr<SnapshotMenuController> snapshotMenuController;
        std::shared_ptr<AppUpdateController> updateController;
        // Empty: "Settings" is disabled.
        std::function<void()> openSettings;
        // The menu bar's "Open Dashboard" (the open-or-focus of the application).
        std::function<void()> openDashboard;
        std::function<void()> quit;
        // Where the window's frame is kept; null means the user's preferences.
        UserDefaults* frameStore = nullptr;
        // Whether the desktop has a tray, whose menu lists the saved layouts; empty means it has.
        std::function<bool()> systemTrayAvailable;
        // The current time for the rows' relative dates; empty means the clock.
        std::function<QDateTime()> now;
        // Where the minute refresh of those dates waits; empty means Qt's timers.
        std::shared_ptr<OperationScheduler> scheduler;
    };

    // What the sidebar's foot shows for the update state.
    struct SidebarFoot {
        bool showsUpdateAvailable = false;
        bool updateAvailableEnabled = false;
        int settingsTopPadding = 8;
        friend bool operator==(const SidebarFoot&, const SidebarFoot&) = default;
    };
    static SidebarFoot sidebarFoot(bool isUpdateAvailable, bool canCheckForUpdates);

    explicit DashboardView(Dependencies dependencies, QWidget* parent = nullptr);
    ~DashboardView() override;

    DashboardViewPresenter& presenter() const { return *m_presenter; }
    // The shared objects the window was given, for the detail pane it hosts.
    const Dependencies& dependencies() const { return m_dependencies; }
    DashboardCommands& commands() const { return *m_commands; }
    // The Layout menu's context: present only while this window is the active one.
    std::optional<DashboardCommandContext> focusedCommandContext();

    // The detail pane beside the side panel, made as the splitter's child (the window makes its
    // own on construction).
    void setDetailPane(QWidget* pane);
    QWidget* detailPane() const { return m_detailPane; }

    QSplitter* splitter() const { return m_splitter; }
    QWidget* sidebar() const { return m_sidebar; }
    DashboardSnapshotListView* layoutList() const { return m_layoutList; }
    DashboardSnapshotListModel* layoutModel() const { return m_layoutModel; }
    QLabel* emptyListLabel() const { return m_emptyListLabel; }
    // The items of a row's menu (right click, its actions button, the menu key), built afresh
    // so they follow the row's state.
    void fillActionsMenu(QMenu& menu, int row);
    // Opens the row's name for editing in place; nothing while an operation holds the lock.
    void beginInlineRename(int row);
    SidebarActionButton* newLayoutButton() const { return m_newLayoutButton; }
    SidebarActionButton* updateAvailableButton() const { return m_updateButton; }
    SidebarActionButton* settingsButton() const { return m_settingsButton; }
    QMessageBox* updateConfirmation() const { return m_updateAlert; }
    QMessageBox* deleteConfirmation() const { return m_deleteAlert; }
    DashboardWindowRemovalConfirmationView* windowRemovalSheet() const { return m_removalSheet; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* buildSidebar();
    void render();
    void renderRows();
    void renderSidebarFoot();
    void scheduleDateRefresh();
    void cancelDateRefresh();
    void refreshRelativeDates();
    void renderSelection();
    void showUpdateConfirmation();
    void showDeleteConfirmation();
    void showWindowRemovalSheet();
    void revealNewLayout(const QUuid& id);
    void focusLayoutList();
    // A presenter's answer to a confirmation.
    using Answer = void (DashboardViewPresenter::*)();
    // Opens the confirmation while `pending`, keeps its message current, and closes it unanswered
    // once withdrawn.
    void showAlert(QPointer<QMessageBox>& alert, bool pending, const QString& title, const QString& message,
                   const QString& confirmTitle, Answer confirm, Answer cancel);

    Dependencies m_dependencies;
    UserDefaults* m_frameStore = nullptr;
    DashboardViewPresenter* m_presenter = nullptr;
    DashboardCommands* m_commands = nullptr;
    DashboardWindowObserver* m_observer = nullptr;
    QSplitter* m_splitter = nullptr;
    QWidget* m_sidebar = nullptr;
    QStackedWidget* m_listStack = nullptr;
    DashboardSnapshotListView* m_layoutList = nullptr;
    DashboardSnapshotListModel* m_layoutModel = nullptr;
    QLabel* m_emptyListLabel = nullptr;
    SidebarActionButton* m_newLayoutButton = nullptr;
    SidebarActionButton* m_updateButton = nullptr;
    SidebarActionButton* m_settingsButton = nullptr;
    QWidget* m_detailPane = nullptr;
    QPointer<QMessageBox> m_updateAlert;
    QPointer<QMessageBox> m_deleteAlert;
    QPointer<DashboardWindowRemovalConfirmationView> m_removalSheet;
    bool m_appeared = false;
    bool m_appearedBefore = false;
    std::shared_ptr<OperationScheduler> m_scheduler;
    std::unique_ptr<OperationScheduler::Handle> m_dateRefresh;
    // When the pending refresh is due: the first change of a phrase on screen.
    QDateTime m_nextDateChange;
    bool m_syncingSelection = false;
};

} // namespace zen
