#include "App/ZentharionApp.h"

#include "App/MenuBarTray.h"
#include "App/DashboardOpener.h"
#include "Dashboard/DashboardView.h"
#include "Dashboard/DashboardWindowSupport.h"
#include "Onboarding/OnboardingContainerView.h"
#include "Onboarding/OnboardingController.h"
#include "Onboarding/TextStyle.h"
#include "MenuBar/SnapshotNamePrompt.h"
#include "Infrastructure/AppLogger.h"
#include "Shared/FreeMemory.h"
#include "Settings/SettingsView.h"
#include "Shared/ApplicationIcon.h"
#include "Shared/DesktopWords.h"
#include "Shared/UserDefaults.h"
#include "Snapshots/SnapshotFolderLock.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <chrono>

namespace zen {

namespace {

// A window manager at work answers in a few milliseconds. One that is stopped or busy holds a
// launch up no longer than a person waits unawares, the window drawn already; its state is then
// read as it stands.
constexpr std::chrono::milliseconds windowManagerWait {300};

// The hotkey manager's errors as the controller shows errors.
struct HotkeyFailureDescription {
    HotkeyManagerError error;
    QString localizedDescription() const { return error.errorDescription(); }
    QString ownDescription() const { return QStringLiteral("HotkeyManagerError"); }
};

std::optional<OperationError> hotkeyOutcome(const std::expected<void, HotkeyManagerError>& result)
{
    if (result)
        return std::nullopt;
    OperationError error = HotkeyFailureDescription{result.error()};
    qCWarning(AppLogger::app, "Global hotkeys: %s", qUtf8Printable(error.message()));
    return error;
}

// The restore that a hotkey or a display change asks for: permission first, then the
// controller. Objects already gone mean the program is ending: nothing happens.
void restoreIfAuthorized(const std::weak_ptr<PermissionInterventionRouter>& weakRouter,
                         const std::weak_ptr<SnapshotMenuController>& weakController, PrivilegedActionSource source,
                         const QUuid& layoutID)
{
    const auto router = weakRouter.lock();
    const auto controller = weakController.lock();
    if (!router || !controller)
        return;
    if (!router->requestAuthorization(PrivilegedActionKind::restoreLayout, source))
        return;
    controller->restoreSnapshot(layoutID);
}

// Stands in when start-up was given no login-item service: launch at login is unavailable.
struct UnavailableLaunchAtLoginService final : LaunchAtLoginServicing {
    LaunchAtLoginServiceStatus status() const override { return LaunchAtLoginServiceStatus::notFound; }
    std::expected<void, PlatformError> registerItem() override { return unavailable(); }
    std::expected<void, PlatformError> unregisterItem() override { return unavailable(); }
    void openLoginItemsSettings() override {}
    static std::expected<void, PlatformError> unavailable()
    {
        return std::unexpected(PlatformError{QStringLiteral("Launch at login is not available."), 0});
    }
};

// Runs a function once the window is first on screen and has been drawn there: the expose is
// handled (and the window painted) before the function runs.
class OnFirstExpose final : public QObject {
public:
    OnFirstExpose(QWindow* window, std::function<void()> function)
        : QObject(window)
        , m_function(std::move(function))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && m_function && static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                deleteLater();
                std::exchange(m_function, {})();
            });
        }
        return false;
    }

private:
    std::function<void()> m_function;
};

// The program's icon for its windows, from the icon theme else the copy built in. Finding it
// reads the theme's index and loads an SVG renderer, some 1.6 MB that a program sitting in the
// tray never needs: the first window pays for it.
void giveWindowsTheProgramIcon()
{
    if (QGuiApplication::windowIcon().isNull())
        QGuiApplication::setWindowIcon(applicationIcon());
}

// Windows the window manager shows with an icon: not the tray's own icon window, menus,
// tool tips or the frameless feedback that bypasses the window manager.
bool showsProgramIcon(const QWidget& widget)
{
    const Qt::WindowType type = widget.windowType();
    return widget.isWindow() && (type == Qt::Window || type == Qt::Dialog)
           && !widget.windowFlags().testFlag(Qt::BypassWindowManagerHint);
}

// Gives the windows their icon when the first of them appears, whichever object opened it
// (prompts and alerts included); it goes once that is done.
class ProgramIconForFirstWindow final : public QObject {
public:
    explicit ProgramIconForFirstWindow(QObject* parent) : QObject(parent)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()
            && showsProgramIcon(*static_cast<QWidget*>(watched))) {
            QCoreApplication::instance()->removeEventFilter(this);
            deleteLater();
            giveWindowsTheProgramIcon();
        }
        return false;
    }
};

} // namespace

void LoggingStatusNoticePresenter::showStatusNotice(const QString& message, double)
{
    // A warning: it tells the user why a shortcut did nothing.
    qCWarning(AppLogger::app, "%s", qUtf8Printable(message));
}

QString ZentharionApp::storageFailureLogMessage(const QString& reason)
{
    return QStringLiteral("Failed to prepare Application Support directories: %1").arg(reason);
}

ZentharionApp::ZentharionApp(ZentharionAppDependencies dependencies, QObject* parent)
    : QObject(parent)
    , m_dependencies(std::move(dependencies))
    , m_startUpWork(m_dependencies.startUpWork ? m_dependencies.startUpWork : std::make_shared<StartUpWork>())
{
    auto& d = m_dependencies;
    if (d.registerDefaults)
        d.registerDefaults();
    // Once the loop has ended (Quit, or a signal to end), a change still waiting for a layouts
    // folder held by another process is dropped whole instead of holding the ending up.
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [] { SnapshotFolderLock::abandonWaits(); });
    // The style's hint grey reads at about 3:1; every window, prompts included, gets one
    // that reaches 4.5:1.
    TextStyle::useReadableHintsEverywhere();
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QGuiApplication::setDesktopFileName(QStringLiteral("zentharion"));
        if (qobject_cast<QApplication*>(QCoreApplication::instance()))
            new ProgramIconForFirstWindow(this);
    }

    m_overlayController = d.makeOverlayController ? d.makeOverlayController() : nullptr;
    if (m_overlayController)
        m_overlayController->setOpenDashboard([this] { openOrFocusDashboard(); });
    m_operationOverlay = m_overlayController         ? m_overlayController
                         : d.makeOperationOverlay ? d.makeOperationOverlay()
                                                  : nullptr;
    if (!m_operationOverlay)
        m_operationOverlay = std::make_shared<NoOpOperationOverlayPresenter>();
    m_statusNoticePresenter = m_overlayController         ? m_overlayController
                              : d.makeStatusNoticePresenter ? d.makeStatusNoticePresenter()
                                                            : nullptr;
    if (!m_statusNoticePresenter)
        m_statusNoticePresenter = std::make_shared<LoggingStatusNoticePresenter>();

    m_settingsNavigationController = std::make_shared<SettingsNavigationController>();

    // Before storage: update checks do not depend on it.
    m_updateController = d.makeUpdateController ? d.makeUpdateController() : nullptr;
    if (!m_updateController)
        m_updateController = std::make_shared<AppUpdateController>();

    prepareStorage(m_operationOverlay);

    if (d.accessibilitySettingsOpener) {
        m_permissionCoordinator = std::make_shared<PermissionCoordinator>(d.trustChecker, d.accessibilitySettingsOpener);
    } else if (d.openAccessHelpPage) {
        // Whoever asks for the help page (menu, router, windows) learns in the status line
        // when nothing could show it, rather than seeing nothing happen.
        std::weak_ptr<SnapshotMenuController> weakController = m_snapshotMenuController;
        auto opener = [open = d.openAccessHelpPage, weakController] {
            const auto failure = open();
            if (!failure)
                return;
            qCWarning(AppLogger::permissions(), "%s", qUtf8Printable(*failure));
            if (const auto controller = weakController.lock())
                controller->setStatus(SnapshotMenuController::Status{*failure, SnapshotMenuController::Status::Kind::error});
        };
        m_permissionCoordinator = std::make_shared<PermissionCoordinator>(d.trustChecker, std::move(opener));
    } else {
        m_permissionCoordinator = std::make_shared<PermissionCoordinator>(d.trustChecker);
    }
    m_permissionRouter = std::make_shared<PermissionInterventionRouter>(m_permissionCoordinator, m_statusNoticePresenter);
    m_onboardingController = std::make_unique<OnboardingController>(
        OnboardingStore(d.userDefaults ? *d.userDefaults : UserDefaults::standard()), m_permissionCoordinator.get(),
        d.controllerOptions.scheduler ? d.controllerOptions.scheduler : std::make_shared<QtOperationScheduler>());

    wireHotkeys();
    if (d.startUpWorkDelay)
        QTimer::singleShot(*d.startUpWorkDelay, this, [this] { runStartUpWorkNow(); });
    else
        runStartUpWorkNow();

    if (m_displayChangeStore && d.displayChangeOptions) {
        std::weak_ptr<PermissionInterventionRouter> weakRouter = m_permissionRouter;
        std::weak_ptr<SnapshotMenuController> weakController = m_snapshotMenuController;
        m_displayChangeController = DisplayChangeRestoreController::forApplication(
            *m_displayChangeStore, m_permissionCoordinator, m_snapshotMenuController, m_overlayController,
            [weakRouter, weakController](const QUuid& layoutID) {
                restoreIfAuthorized(weakRouter, weakController, PrivilegedActionSource::displayChange, layoutID);
            },
            d.displayChangeOptions());
        m_displayChangeController->start();
    }

    m_permissionCoordinator->refreshTrust(PermissionCoordinator::RefreshTrigger::launch);
    // The windows opened later are placed with the frame the window manager will give them.
    DashboardWindowSupport::useOwnWindows(d.ownWindows);
}

ZentharionApp::~ZentharionApp()
{
    // The tray's menu and the windows call back into the objects below; they go first.
    if (m_trayGrace)
        m_trayGrace->cancel();
    m_menuBarTray.reset();
    m_settingsView.reset();
    m_dashboardOpener.reset();
    delete m_onboardingWindow.data();
}

const std::shared_ptr<LaunchAtLoginController>& ZentharionApp::launchAtLoginController()
{
    if (!m_launchAtLoginController) {
        std::unique_ptr<LaunchAtLoginServicing> service =
            m_dependencies.makeLaunchAtLoginService ? m_dependencies.makeLaunchAtLoginService() : nullptr;
        if (!service)
            service = std::make_unique<UnavailableLaunchAtLoginService>();
        m_launchAtLoginController = std::make_shared<LaunchAtLoginController>(std::move(service));
    }
    return m_launchAtLoginController;
}

void ZentharionApp::openSettings()
{
    giveWindowsTheProgramIcon();
    if (!m_settingsView) {
        SettingsViewEnvironment environment;
        environment.defaults = m_dependencies.userDefaults;
        auto presenter = std::make_shared<SettingsViewPresenter>(launchAtLoginController(), m_permissionCoordinator,
                                                                 m_diagnosticLogController,
                                                                 m_settingsNavigationController, m_updateController,
                                                                 std::move(environment));
        m_settingsView = std::make_unique<SettingsView>(std::move(presenter));
    }
    if (!m_settingsView->isVisible())
        DashboardWindowSupport::placeCentred(*m_settingsView);
    m_settingsView->show();
    m_settingsView->raise();
    m_settingsView->activateWindow();
}

void ZentharionApp::openOrFocusDashboard()
{
    // The dashboard shows the layouts: their listing starts now if it still waits.
    runStartUpWorkNow();
    if (!m_dashboardOpener)
        m_dashboardOpener = std::make_unique<DashboardOpener>([this] {
            giveWindowsTheProgramIcon();
            DashboardView::Dependencies d;
            d.bootstrapErrorMessage = m_bootstrapErrorMessage;
            d.permissionCoordinator = m_permissionCoordinator;
            d.permissionRouter = m_permissionRouter;
            d.snapshotMenuController = m_snapshotMenuController;
            d.updateController = m_updateController;
            d.openSettings = [this] { openSettings(); };
            d.openDashboard = [this] { openOrFocusDashboard(); };
            d.quit = [this] { performMenuBarAction(MenuBarAction::quit); };
            d.frameStore = m_dependencies.userDefaults;
            d.systemTrayAvailable = [this] { return systemTrayAvailable(); };
            return new DashboardView(std::move(d));
        }, m_dependencies.bringWindowForward);
    if (m_dashboardOpener->open() != DashboardOpener::Outcome::broughtForward)
        // After the window has had its first turn on screen.
        QTimer::singleShot(0, this, &ZentharionApp::runFirstLaunchBridge);
}

void ZentharionApp::runFirstLaunchBridge()
{
    if (m_onboardingController->startFirstLaunchIfNeeded())
        openOnboardingWindow();
}

void ZentharionApp::openOnboardingWindow()
{
    if (!m_onboardingWindow) {
        // Its welcome page shows the icon it finds when it is built.
        giveWindowsTheProgramIcon();
        m_onboardingWindow = new OnboardingContainerView(m_onboardingController.get(), m_permissionCoordinator.get(),
                                                         [this] { openOrFocusDashboard(); },
                                                         DesktopWords::programMenu(systemTrayAvailable()));
        m_onboardingWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    // Transient for the dashboard, as its dialog: the window manager keeps it above the
    // dashboard, so a click on the dashboard cannot bury it out of reach behind it.
    if (DashboardView* dashboard = dashboardWindow(); dashboard && dashboard->isVisible() && dashboard->windowHandle()) {
        m_onboardingWindow->winId();
        if (QWindow* handle = m_onboardingWindow->windowHandle())
            handle->setTransientParent(dashboard->windowHandle());
    }
    if (!m_onboardingWindow->isVisible())
        DashboardWindowSupport::placeCentred(*m_onboardingWindow);
    m_onboardingWindow->show();
    m_onboardingWindow->raise();
    m_onboardingWindow->activateWindow();
}

OnboardingContainerView* ZentharionApp::onboardingWindow() const
{
    return m_onboardingWindow.data();
}

DashboardView* ZentharionApp::dashboardWindow() const
{
    return m_dashboardOpener ? m_dashboardOpener->window() : nullptr;
}

bool ZentharionApp::showsDashboardAtLaunch() const
{
    // The first launch, and a later one whose onboarding was put off while access is still
    // missing: the dashboard appears and the onboarding window opens over it.
    return m_onboardingController->shouldPresentOnFirstLaunch();
}

void ZentharionApp::showDashboardAtLaunchIfNeeded()
{
    if (showsDashboardAtLaunch())
        openOrFocusDashboard();
}

bool ZentharionApp::systemTrayAvailable() const
{
    return !m_dependencies.systemTrayAvailable || m_dependencies.systemTrayAvailable();
}

void ZentharionApp::showDashboardIfNoTrayAppears()
{
    if (systemTrayAvailable() || m_trayGrace)
        return;
    m_trayGraceScheduler = m_dependencies.controllerOptions.scheduler ? m_dependencies.controllerOptions.scheduler
                                                                      : std::make_shared<QtOperationScheduler>();
    m_trayGrace = m_trayGraceScheduler->runAfter(trayGracePeriod, [this] {
        // Whatever is open already (the first-launch dashboard, with the guide over it) stays
        // as it is.
        if (systemTrayAvailable() || dashboardWindow())
            return;
        openOrFocusDashboard();
    });
}

void ZentharionApp::answerAnotherLaunch(bool atLogin)
{
    if (atLogin && systemTrayAvailable())
        return;
    const bool justOpened = !dashboardWindow() || !dashboardWindow()->isVisible();
    openOrFocusDashboard();
    // A window on screen already was asked for by the opener.
    if (justOpened)
        bringDashboardForward();
    // The guide the person has not finished comes forward with it, after it; a modal dialog
    // (a confirmation, a name prompt) is what the person has to answer first, and stays in front.
    if (OnboardingContainerView* guide = onboardingWindow();
        guide && guide->isVisible() && !QApplication::activeModalWidget()) {
        guide->raise();
        if (m_dependencies.bringWindowForward)
            m_dependencies.bringWindowForward(guide->winId());
        else
            guide->activateWindow();
    }
}

void ZentharionApp::bringDashboardForward()
{
    DashboardView* dashboard = dashboardWindow();
    if (!dashboard || !m_dependencies.bringWindowForward)
        return;
    const std::shared_ptr<OwnWindows> ownWindows = m_dependencies.ownWindows;
    // The window that had the keyboard when the dashboard was asked for: another one holding
    // it later was chosen by the person since.
    const std::optional<OwnWindowState> atRequest = ownWindows ? ownWindows->state(dashboard->winId()) : std::nullopt;
    const auto bring = [bringForward = m_dependencies.bringWindowForward, ownWindows, atRequest,
                        window = QPointer<DashboardView>(dashboard)] {
        if (!window || window->isMinimized())
            return;
        // A person who minimized the new window, or went on in another one, before it was on
        // screen here (a busy machine draws late) keeps what they chose. The window manager
        // is asked, not the toolkit, which hears of it only after this first showing, and
        // asked once it has handled what it was sent: a busy one carries out a minimize some
        // while after the server has it, and a keyboard request read ahead of it would undo it.
        // A prompt that blocks the window (a save's name prompt from the tray) is what the
        // person has to answer: it comes forward, over the window it blocks.
        QWidget* dialog = DashboardWindowSupport::blockingDialog(*window);
        QWidget* target = dialog ? dialog : window.data();
        if (ownWindows && atRequest) {
            const auto now = ownWindows->stateAfterPendingRequests(window->winId(), windowManagerWait);
            if (!now || now->minimized)
                return;
            if (now->activeWindow != atRequest->activeWindow && now->activeWindow != 0
                && !QWidget::find(now->activeWindow))
                return;
            // Given the keyboard already as the window manager mapped it: asking again could
            // only undo a minimize on its way.
            if (now->activeWindow == target->winId())
                return;
        }
        if (dialog) {
            dialog->raise();
            dialog->activateWindow();
        }
        bringForward(target->winId());
    };
    QWindow* handle = dashboard->windowHandle();
    // The window manager ignores requests about a window it does not manage yet, and it
    // manages a new window only by the time the window is first on screen.
    if (handle && !handle->isExposed())
        new OnFirstExpose(handle, bring);
    else
        bring();
}

void ZentharionApp::prepareStorage(const std::shared_ptr<OperationOverlayPresenting>& overlay)
{
    auto& d = m_dependencies;
    SnapshotMenuController::Options options = d.controllerOptions;
    options.statusAutoClearDelay = 5.0;
    if (d.bringWindowForward) {
        if (!options.snapshotNamePrompt)
            options.snapshotNamePrompt = [bring = d.bringWindowForward](const QString& name) {
                return SnapshotNamePrompt::prompt(name, nullptr, bring);
            };
        if (!options.snapshotRenamePrompt)
            options.snapshotRenamePrompt = [bring = d.bringWindowForward](const QString& name) {
                return SnapshotNamePrompt::promptRename(name, nullptr, bring);
            };
    }

    std::optional<QString> failure;
    std::optional<AppSupportDirectoryBootstrapper> folders;
    if (auto resolved = d.resolveFolders ? d.resolveFolders() : AppSupportDirectoryBootstrapper::make()) {
        if (auto prepared = resolved->prepare())
            folders = *resolved;
        else
            failure = prepared.error().localizedDescription();
    } else {
        failure = BootstrapErrorDescription{resolved.error()}.localizedDescription();
    }

    if (!folders) {
        m_bootstrapErrorMessage = failure;
        // Without storage there is nothing to capture into or restore from.
        options.captureOperation = {};
        options.updateOperation = {};
        options.restoreOperation = {};
        options.operationOverlayPresenter = std::make_shared<NoOpOperationOverlayPresenter>();
        m_snapshotMenuController =
            std::make_shared<SnapshotMenuController>(std::nullopt, std::nullopt, std::nullopt, std::move(options));
        qCCritical(AppLogger::app, "%s", qUtf8Printable(storageFailureLogMessage(failure.value_or(QString()))));
        return;
    }

    m_bootstrapErrorMessage.reset();
    SnapshotStore store(*folders);
    m_startUpWork->add([store] { runInIdleTime([store] { store.removeStaleTemporaryFiles(); }); });
    m_displayChangeStore = store;
    const QString eventsLogURL = folders->logsURL() + QStringLiteral("events.log");
    std::shared_ptr<const TelemetryLogging> eventLog = d.makeEventLog ? d.makeEventLog(eventsLogURL) : nullptr;
    if (!eventLog)
        eventLog = std::make_shared<NoOpTelemetryLogger>();
    if (d.makeDiagnosticLogController)
        m_diagnosticLogController = d.makeDiagnosticLogController(eventsLogURL);
    auto capture = d.makeCaptureService ? d.makeCaptureService(store, eventLog) : std::nullopt;
    auto restore = d.makeRestoreEngine ? d.makeRestoreEngine(store, eventLog) : std::nullopt;
    options.operationOverlayPresenter = overlay;
    options.listWhenMade = false;
    m_snapshotMenuController = std::make_shared<SnapshotMenuController>(std::move(store), std::move(capture),
                                                                         std::move(restore), std::move(options));
    m_startUpWork->add([weakController = std::weak_ptr<SnapshotMenuController>(m_snapshotMenuController)] {
        if (const auto controller = weakController.lock())
            controller->refreshSummariesInBackground();
    });
    // What the worker freed (the windows read, the files written and listed) stays resident unless
    // it is given back: once the operation is over and the task that took in its results returned.
    std::function<void()> giveBack = d.returnFreeMemory ? d.returnFreeMemory : returnFreeMemoryToSystem;
    connect(m_snapshotMenuController.get(), &SnapshotMenuController::isOperatingChanged, this,
            [this, giveBack = std::move(giveBack)](bool operating) {
                if (!operating)
                    QMetaObject::invokeMethod(this, giveBack, Qt::QueuedConnection);
            });
}

void ZentharionApp::wireHotkeys()
{
    auto& d = m_dependencies;
    HotkeyPlatform platform = d.makeHotkeyPlatform ? d.makeHotkeyPlatform() : HotkeyPlatform{};
    if (!platform.registrar)
        qCWarning(AppLogger::app, "Global shortcuts are not available on this desktop (it needs an X11 session)");

    // Presses arrive inside the platform's event handling; the restore starts as a task of its
    // own on the main thread, after that handling has returned.
    std::weak_ptr<PermissionInterventionRouter> weakRouter = m_permissionRouter;
    std::weak_ptr<SnapshotMenuController> weakController = m_snapshotMenuController;
    auto post = d.postToMainThread;
    auto hotkeyRestore = [weakRouter, weakController, post, self = QPointer<ZentharionApp>(this)](QUuid layoutID) {
        auto task = [weakRouter, weakController, layoutID, self] {
            // A prompt waiting for its answer comes first (a save's name prompt: the windows are
            // saved as they stand once it is given); the press is the person asking for the
            // program, and finds the prompt, wherever another window hid it.
            if (self && self->bringWaitingWindowForward())
                return;
            restoreIfAuthorized(weakRouter, weakController, PrivilegedActionSource::hotkey, layoutID);
        };
        if (post)
            post(std::move(task));
        else
            task();
    };
    m_hotkeyManager = std::make_shared<HotkeyManager>(hotkeyRestore, platform.registrar,
                                                      platform.eventHandlerInstaller, platform.eventHandlerRemover);

    m_snapshotMenuController->setSnapshotSummariesDidChange(
        [manager = m_hotkeyManager, weakController](const std::vector<SnapshotSummary>& summaries) {
            auto error = hotkeyOutcome(manager->reloadBindings(summaries));
            if (error) {
                if (const auto controller = weakController.lock())
                    controller->setStatus(
                        SnapshotMenuController::Status{error->message(), SnapshotMenuController::Status::Kind::error});
            }
            return error;
        });
    m_snapshotMenuController->setHotkeyCaptureActivityDidChange(
        [manager = m_hotkeyManager](bool active) -> std::optional<OperationError> {
            if (active) {
                manager->suspendBindings();
                return std::nullopt;
            }
            return hotkeyOutcome(manager->resumeBindings());
        });
}

void ZentharionApp::runPermissionGated(PrivilegedActionKind kind, const std::function<void()>& action)
{
    if (m_permissionRouter->requestAuthorization(kind, PrivilegedActionSource::menuBar)) {
        action();
        return;
    }
    m_onboardingController->startPermissionRequiredFlow();
    openOnboardingWindow();
}

void ZentharionApp::performMenuBarAction(MenuBarAction action, const QUuid& layoutID)
{
    const auto controller = m_snapshotMenuController;
    switch (action) {
    case MenuBarAction::openDashboard:
        openOrFocusDashboard();
        break;
    case MenuBarAction::none:
        break;
    case MenuBarAction::openSettings:
        openSettings();
        break;
    case MenuBarAction::openAccessibilitySettings:
        m_permissionCoordinator->openAccessibilitySettings();
        break;
    case MenuBarAction::saveCurrentLayout:
        runPermissionGated(PrivilegedActionKind::saveLayout, [controller] { controller->captureCurrentSnapshot(); });
        break;
    case MenuBarAction::restoreLayout:
        runPermissionGated(PrivilegedActionKind::restoreLayout,
                           [controller, layoutID] { controller->restoreSnapshot(layoutID); });
        break;
    case MenuBarAction::checkForUpdates:
        m_updateController->checkForUpdates();
        break;
    case MenuBarAction::quit:
        if (m_dependencies.quit)
            m_dependencies.quit();
        else
            QCoreApplication::quit();
        break;
    }
}

bool ZentharionApp::bringWaitingWindowForward()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return false;
    // Application-modal, it keeps the person from every other window of the program and from
    // the tray's menu until it is answered; a window-modal one (a confirmation of the
    // dashboard's) leaves them the rest.
    QWidget* waiting = QApplication::activeModalWidget();
    if (!waiting || !waiting->isVisible() || waiting->windowModality() != Qt::ApplicationModal)
        return false;
    waiting->raise();
    // Asked as a pager asks: the window manager gives the keyboard to a program in the
    // background only so. Besides a prompt's first showing, this is the only time the program
    // asks for the keyboard for it: the person asked for the program.
    if (m_dependencies.bringWindowForward)
        m_dependencies.bringWindowForward(waiting->winId());
    else
        waiting->activateWindow();
    return true;
}

MenuBarMenuState ZentharionApp::menuBarMenuState() const
{
    MenuBarMenuState state;
    state.bootstrapErrorMessage = m_bootstrapErrorMessage;
    state.authorizationState = m_permissionCoordinator->authorizationState();
    state.snapshotSummaries = m_snapshotMenuController->snapshotSummaries();
    state.status = m_snapshotMenuController->status();
    state.isOperating = m_snapshotMenuController->isOperating();
    state.refusedHotkeyLayoutIDs = m_hotkeyManager->refusedLayoutIDs();
    state.isUpdateAvailable = m_updateController->availableUpdate().has_value();
    state.canCheckForUpdates = m_updateController->canCheckForUpdates();
    state.canOpenDashboard = true;
    state.canOpenSettings = true;
    return state;
}

void ZentharionApp::showMenuBarExtra()
{
    showMenuBarExtra(nullptr);
}

void ZentharionApp::showMenuBarExtra(std::unique_ptr<MenuBarTray> shownEarly)
{
    if (m_menuBarTray)
        return;
    m_menuBarTray = shownEarly ? std::move(shownEarly) : std::make_unique<MenuBarTray>(nullptr, nullptr);
    MenuBarTray* tray = m_menuBarTray.get();
    tray->setItems([this] { return MenuBarMenu::items(menuBarMenuState()); },
                   [this](const MenuBarItem& item) { performMenuBarAction(item.action, item.layoutID); });
    // A tray program is seldom activated: opening its menu is when the user looks, so access
    // is read again then (a window manager may have started or ended since).
    // Opening it also starts the listing if start-up work still waits. A menu opened before the
    // layouts are in shows none; it keeps its rows while open (a row moving under the pointer
    // could restore another layout), and shows them from its next opening.
    // A click on the icon while a prompt waits is the person looking for the program: the menu
    // could not act (a save waiting for its name comes first), the prompt comes forward.
    tray->setClickTaker([this] { return bringWaitingWindowForward(); });
    tray->setAboutToShow([coordinator = m_permissionCoordinator, work = m_startUpWork] {
        work->release();
        coordinator->refreshTrust(PermissionCoordinator::RefreshTrigger::appDidBecomeActive);
    });
    const auto rebuild = [tray] { tray->scheduleRebuild(); };
    auto* controller = m_snapshotMenuController.get();
    connect(controller, &SnapshotMenuController::snapshotSummariesChanged, tray, rebuild);
    connect(controller, &SnapshotMenuController::statusChanged, tray, rebuild);
    connect(controller, &SnapshotMenuController::isOperatingChanged, tray, rebuild);
    connect(m_permissionCoordinator.get(), &PermissionCoordinator::authorizationStateChanged, tray, rebuild);
    connect(m_updateController.get(), &AppUpdateController::availableUpdateChanged, tray, rebuild);
    connect(m_updateController.get(), &AppUpdateController::canCheckForUpdatesChanged, tray, rebuild);
    tray->show();
}

} // namespace zen
