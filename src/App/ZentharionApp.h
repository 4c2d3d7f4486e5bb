#pragma once

#include "App/MenuBarMenu.h"
#include "App/StartUpWork.h"
#include "Displays/DisplayChangeRestoreController.h"
#include "Hotkeys/HotkeyManager.h"
#include "Infrastructure/AppSupportDirectoryBootstrapper.h"
#include "Infrastructure/DiagnosticLogController.h"
#include "Infrastructure/TelemetryLogger.h"
#include "LaunchAtLogin/LaunchAtLoginController.h"
#include "MenuBar/OperationOverlayController.h"
#include "MenuBar/OperationOverlayPresenting.h"
#include "MenuBar/SnapshotMenuController.h"
#include "Permissions/PermissionCoordinator.h"
#include "Permissions/PermissionInterventionRouter.h"
#include "Permissions/StatusNoticePresenting.h"
#include "Platform/OwnWindows.h"
#include "Restore/RestoreEngine.h"
#include "Settings/SettingsNavigationController.h"
#include "Snapshots/SnapshotCaptureService.h"
#include "Snapshots/SnapshotStore.h"
#include "Updates/AppUpdateController.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>
#include <qwindowdefs.h>

#include <chrono>
#include <expected>
#include <functional>
#include <memory>
#include <optional>

namespace zen {

class DashboardOpener;
class DashboardView;
class OnboardingContainerView;
class OnboardingController;
class MenuBarTray;
class SettingsView;
class UserDefaults;

// The global-shortcut machinery of the desktop: the registrar and how presses reach the
// hotkey manager. A null registrar means the desktop offers no global shortcuts.
struct HotkeyPlatform {
    std::shared_ptr<HotkeyRegistering> registrar;
    EventHandlerInstaller eventHandlerInstaller;
    EventHandlerRemover eventHandlerRemover;
};

// Everything start-up reaches outside the process through, so that start-up runs on fakes in
// tests. live() binds each to the desktop.
struct ZentharionAppDependencies {
    std::function<void()> registerDefaults;
    std::function<std::shared_ptr<OperationOverlayPresenting>()> makeOperationOverlay;
    std::function<std::shared_ptr<StatusNoticePresenting>()> makeStatusNoticePresenter;
    // The one on-screen feedback object; when given, it is the overlay, the notice presenter
    // and the display-change suggestion presenter, and the two makers above are not asked.
    std::function<std::shared_ptr<OperationOverlayController>()> makeOverlayController;
    // How the display-change watcher sees the monitors; absent: no watcher is made.
    std::function<DisplayChangeRestoreController::Options()> displayChangeOptions;
    std::function<std::shared_ptr<AppUpdateController>()> makeUpdateController;
    // The login-item service, asked for when the settings window is first built.
    std::function<std::unique_ptr<LaunchAtLoginServicing>()> makeLaunchAtLoginService;
    std::function<std::expected<AppSupportDirectoryBootstrapper, AppSupportDirectoryBootstrapper::BootstrapError>()>
        resolveFolders;
    // The event log of the given file, its maintenance already done.
    std::function<std::shared_ptr<const TelemetryLogging>(const QString& eventsLogURL)> makeEventLog;
    std::function<std::shared_ptr<DiagnosticLogController>(const QString& eventsLogURL)> makeDiagnosticLogController;
    std::function<std::optional<SnapshotCaptureService>(const SnapshotStore&, std::shared_ptr<const TelemetryLogging>)>
        makeCaptureService;
    std::function<std::optional<RestoreEngine>(const SnapshotStore&, std::shared_ptr<const TelemetryLogging>)>
        makeRestoreEngine;
    // The controller's options but its overlay and status clear delay, which start-up sets.
    SnapshotMenuController::Options controllerOptions;
    AccessibilityTrustChecker trustChecker{std::function<bool()>{}};
    std::function<void()> accessibilitySettingsOpener;
    // Used when the opener above is absent: shows the help page on what access needs, and
    // returns the failure's message when nothing could show it.
    std::function<std::optional<QString>()> openAccessHelpPage;
    std::function<HotkeyPlatform()> makeHotkeyPlatform;
    // Runs the function later, on the main thread, as a task of its own.
    std::function<void(std::function<void()>)> postToMainThread;
    std::function<void()> quit;
    // Gives the heap's free pages back to the system after an operation; null means glibc's trim.
    std::function<void()> returnFreeMemory;
    // Whether the desktop has a system tray now; null counts as having one.
    std::function<bool()> systemTrayAvailable;
    // Brings one of the program's own windows to the front with the keyboard as a pager asks
    // for it, with the server's current time: a program in the background asking for itself is
    // otherwise refused, or only flagged, by window managers that prevent focus stealing.
    std::function<void(WId)> bringWindowForward;
    // The window manager's own view of the program's windows (minimized, which one is active,
    // the frame it will give a window); null: only the toolkit's view is known.
    std::shared_ptr<OwnWindows> ownWindows;
    // The preferences the windows read and write (the dashboard's frame, whether onboarding
    // ran); null means the user's own.
    UserDefaults* userDefaults = nullptr;
    // Where start-up puts the work that can wait (the first listing of the layouts, the sweep
    // of stale files; live, the event log's upkeep too); null: start-up makes its own.
    std::shared_ptr<StartUpWork> startUpWork;
    // How long after start-up that work begins unless the user reaches for the tray menu or
    // a window sooner; absent: as soon as the shortcuts are wired, inside start-up.
    std::optional<std::chrono::milliseconds> startUpWorkDelay;

    static ZentharionAppDependencies live();
};

// The composition root: builds every long-lived object once, in a fixed order, wires their
// callbacks and keeps them for the life of the process. Storage is decided once: when the data
// folders cannot be prepared the program still runs, without store, capture, restore or event
// log, and says why in its menu. Main thread only.
//
// Its scenes are the tray menu and the dashboard window, made on demand (one at a time). Linux
// desktops have no global application menu: the dashboard window carries it in its own menu
// bar. The other windows (onboarding, settings) join as top-level windows made on demand.
class ZentharionApp : public QObject {
    Q_OBJECT
public:
    explicit ZentharionApp(ZentharionAppDependencies dependencies, QObject* parent = nullptr);
    ~ZentharionApp() override;

    // The tray icon and its menu; separate from construction so that start-up is testable
    // without a tray. Logs when the desktop has no tray (the shortcuts still work).
    void showMenuBarExtra();
    // The same, given the tray icon that was put up before start-up built anything else (the
    // icon is what a person waits for): it gets its menu now.
    void showMenuBarExtra(std::unique_ptr<MenuBarTray> shownEarly);

    const std::shared_ptr<PermissionCoordinator>& permissionCoordinator() const { return m_permissionCoordinator; }
    const std::shared_ptr<SnapshotMenuController>& snapshotMenuController() const { return m_snapshotMenuController; }
    const std::optional<QString>& bootstrapErrorMessage() const { return m_bootstrapErrorMessage; }
    const std::shared_ptr<DiagnosticLogController>& diagnosticLogController() const { return m_diagnosticLogController; }
    // Null until showMenuBarExtra().
    MenuBarTray* menuBarTray() const { return m_menuBarTray.get(); }
    const std::shared_ptr<AppUpdateController>& updateController() const { return m_updateController; }
    const std::shared_ptr<SettingsNavigationController>& settingsNavigationController() const
    {
        return m_settingsNavigationController;
    }
    // Made on first use; reads the login-item status once then.
    const std::shared_ptr<LaunchAtLoginController>& launchAtLoginController();

    // Shows the settings window (made on first use) and brings it to the front.
    void openSettings();
    SettingsView* settingsWindow() const { return m_settingsView.get(); }
    DisplayChangeRestoreController* displayChangeController() const { return m_displayChangeController.get(); }

    // Brings the open dashboard window forward, else shows the one closed earlier, else makes one.
    void openOrFocusDashboard();
    // The dashboard window, on screen or closed and kept; null before it is first opened.
    DashboardView* dashboardWindow() const;
    // A tray utility starts quietly; only the first launch (onboarding has never run) opens
    // the dashboard, so the user sees what was installed.
    bool showsDashboardAtLaunch() const;
    void showDashboardAtLaunchIfNeeded();
    // Without a tray the program has no menu of its own to be reached through: unless a tray
    // turns up within `trayGracePeriod` (one that starts with the session still wins), the
    // dashboard opens, carrying the menu in its menu bar.
    static constexpr std::chrono::milliseconds trayGracePeriod{2000};
    void showDashboardIfNoTrayAppears();
    // Another launch of the program asked this one to show itself: the dashboard comes
    // forward, with the onboarding window over it while that is open, except for a launch at
    // login on a desktop with a tray, which stays quiet.
    void answerAnotherLaunch(bool atLogin);
    OnboardingController* onboardingController() const { return m_onboardingController.get(); }
    // Brings the open onboarding window forward, else opens one; over an open dashboard it is
    // the dashboard's dialog.
    void openOnboardingWindow();
    OnboardingContainerView* onboardingWindow() const;

    // The person asked for the program (a click on its tray icon, one of its shortcuts): a
    // window of its that waits for their answer before anything else (an application-modal
    // prompt, such as a save's name prompt) comes forward, raised, with the keyboard. False
    // when none waits.
    bool bringWaitingWindowForward();

    // What the tray menu shows now.
    MenuBarMenuState menuBarMenuState() const;
    // Runs a menu-bar item's action.
    void performMenuBarAction(MenuBarAction action, const QUuid& layoutID = {});

    // The start-up log line of a storage failure.
    static QString storageFailureLogMessage(const QString& reason);

    // Begins the start-up work that waits (see ZentharionAppDependencies::startUpWork) now.
    void runStartUpWorkNow() { m_startUpWork->release(); }

private:
    void prepareStorage(const std::shared_ptr<OperationOverlayPresenting>& overlay);
    void wireHotkeys();
    void runPermissionGated(PrivilegedActionKind kind, const std::function<void()>& action);
    // Once the dashboard is on screen: the onboarding window opens by itself at most once per
    // process, when the onboarding flow says so.
    void runFirstLaunchBridge();
    bool systemTrayAvailable() const;
    // For a window just shown: once the window manager manages it, it is asked for the window.
    void bringDashboardForward();

    ZentharionAppDependencies m_dependencies;
    std::shared_ptr<StartUpWork> m_startUpWork;
    std::shared_ptr<PermissionCoordinator> m_permissionCoordinator;
    std::shared_ptr<PermissionInterventionRouter> m_permissionRouter;
    std::shared_ptr<SnapshotMenuController> m_snapshotMenuController;
    std::shared_ptr<AppUpdateController> m_updateController;
    std::shared_ptr<SettingsNavigationController> m_settingsNavigationController;
    std::shared_ptr<LaunchAtLoginController> m_launchAtLoginController;
    std::unique_ptr<SettingsView> m_settingsView;
    std::optional<QString> m_bootstrapErrorMessage;
    std::shared_ptr<DiagnosticLogController> m_diagnosticLogController;
    std::shared_ptr<HotkeyManager> m_hotkeyManager;
    std::shared_ptr<OperationOverlayPresenting> m_operationOverlay;
    std::shared_ptr<StatusNoticePresenting> m_statusNoticePresenter;
    std::shared_ptr<OperationOverlayController> m_overlayController;
    std::optional<SnapshotStore> m_displayChangeStore;
    std::unique_ptr<DisplayChangeRestoreController> m_displayChangeController;
    std::unique_ptr<MenuBarTray> m_menuBarTray;
    std::unique_ptr<DashboardOpener> m_dashboardOpener;
    std::unique_ptr<OnboardingController> m_onboardingController;
    QPointer<OnboardingContainerView> m_onboardingWindow;
    std::shared_ptr<OperationScheduler> m_trayGraceScheduler;
    std::unique_ptr<OperationScheduler::Handle> m_trayGrace;
};

// Stands in for the on-screen status notice when start-up is given no overlay controller: the
// notice goes to the "app" log, so a hotkey pressed without access leaves a trace.
class LoggingStatusNoticePresenter final : public StatusNoticePresenting {
public:
    void showStatusNotice(const QString& message, double duration) override;
    void hideStatusNotice() override {}
};

} // namespace zen
