// The desktop's own services for start-up. Kept apart from ZentharionApp.cpp so that test
// binaries, which build the application on fakes, never link the live bindings.
#include "App/ZentharionApp.h"
#include "Dashboard/DashboardWindowSupport.h"

#include "Infrastructure/ZentharionSettings.h"
#include "Shared/FreeMemory.h"
#include "Permissions/PermissionCoordinator.h"
#include "Platform/Linux/FileViewer.h"
#include "Platform/Linux/MailComposer.h"
#include "Platform/Linux/MainAppLaunchAtLoginService.h"
#include "Platform/Linux/SavePanel.h"
#include "Platform/X11/CarbonHotkeyRegistrar.h"
#include "Platform/X11/DesktopEntryResolver.h"
#include "Platform/X11/CompositingManagerProbe.h"
#include "Platform/X11/X11Connection.h"
#include "Platform/X11/X11OwnWindows.h"
#include "Platform/X11/X11WindowWriter.h"
#include "Updates/FeedUpdater.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaObject>
#include <QSystemTrayIcon>
#include <QTimer>

namespace zen {

namespace {

HotkeyPlatform liveHotkeyPlatform()
{
    std::shared_ptr<CarbonHotkeyRegistrar> registrar = CarbonHotkeyRegistrar::forApplication();
    if (!registrar) {
        return {nullptr,
                [](HotkeyPressHandler) -> std::expected<EventHandlerReference, HotkeyManagerError> {
                    return std::unexpected(HotkeyManagerError::eventHandlerInstallFailed(-1));
                },
                {}};
    }
    return {registrar,
            [registrar](HotkeyPressHandler handler) -> std::expected<EventHandlerReference, HotkeyManagerError> {
                registrar->setPressHandler(std::move(handler));
                return 1;
            },
            [registrar](EventHandlerReference) { registrar->setPressHandler({}); }};
}

// GIO rather than QDesktopServices: it says whether any program is set up to show the page,
// where handing the page to xdg-open "succeeds" even when nothing shows it.
bool openWithDefaultHandler(const QUrl& url)
{
    return DesktopEntryResolver::openWithDefaultApplication(url.toLocalFile(), QStringLiteral("text/html"));
}

// xdg-email attaches the log; without it a mailto: link only addresses the mail. Looked up
// on every call: the user may install a mail tool while the program runs.
std::optional<DiagnosticLogEmailComposer> liveEmailComposer()
{
    if (const auto xdgEmail = linux_desktop::findXdgEmail()) {
        return DiagnosticLogEmailComposer{
            .canPerform = [](const QString&, const QString& attachment) { return QFileInfo(attachment).isReadable(); },
            .compose = [path = *xdgEmail](const QString& recipient, const QString& subject, const QString& body,
                                          const QString& attachment) {
                return linux_desktop::composeMailWithXdgEmail(path, recipient, subject, body, attachment);
            },
            .attachesFiles = true,
        };
    }
    return DiagnosticLogEmailComposer{
        .canPerform = [](const QString&, const QString&) { return true; },
        .compose = [](const QString& recipient, const QString& subject, const QString& body, const QString&) {
            return linux_desktop::composeMailto(recipient, subject, body);
        },
        .attachesFiles = false,
    };
}

std::shared_ptr<DiagnosticLogController> liveDiagnosticLogController(const QString& eventsLogURL)
{
    return std::make_shared<DiagnosticLogController>(
        eventsLogURL, [](const QString& file) { return linux_desktop::revealFileInFileManager(file); },
        [](const QString& folder) { return linux_desktop::openFolder(folder); }, &linux_desktop::runSavePanel,
        &liveEmailComposer);
}

} // namespace

ZentharionAppDependencies ZentharionAppDependencies::live()
{
    ZentharionAppDependencies d;
    d.registerDefaults = [] { ZentharionSettings::registerDefaults(); };
    d.makeOverlayController = [] {
        OperationOverlayController::Environment environment;
        environment.isCompositing = compositingManagerRunning;
        return std::make_shared<OperationOverlayController>(OperationOverlayController::Durations{},
                                                            OperationOverlayController::PresentationBarrier{},
                                                            std::move(environment));
    };
    d.displayChangeOptions = [] { return DisplayChangeRestoreController::Options{}; };
    d.makeUpdateController = [] {
        return std::make_shared<AppUpdateController>(FeedUpdater::live(QUrl(QStringLiteral(ZENTHARION_UPDATE_FEED_URL)),
                                                                       &DashboardWindowSupport::existingWindow));
    };
    d.makeLaunchAtLoginService = []() -> std::unique_ptr<LaunchAtLoginServicing> {
        return std::make_unique<MainAppLaunchAtLoginService>(MainAppLaunchAtLoginService::liveLocations());
    };
    d.resolveFolders = [] { return AppSupportDirectoryBootstrapper::make(); };
    d.startUpWork = std::make_shared<StartUpWork>();
    // The icon docks within some 20 ms of start; a menu opened soon after lists the layouts.
    d.startUpWorkDelay = std::chrono::milliseconds(250);
    d.makeEventLog = [work = d.startUpWork](const QString& url) -> std::shared_ptr<const TelemetryLogging> {
        auto logger = std::make_shared<TelemetryLogger>(url);
        // Bounding a large log takes time that grows with the file: it waits until the tray
        // icon is up and happens on an idle worker. What reading the file left on the heap goes
        // back to the system, so nothing stays that grows with it.
        work->add([logger] {
            runInIdleTime([logger] {
                logger->performMaintenance();
                returnFreeMemoryToSystem();
            });
        });
        return logger;
    };
    // Once start-up work has settled, what its workers freed (the listing's and the log's
    // buffers) goes back to the system instead of staying resident in the heap.
    d.startUpWork->add([] { QTimer::singleShot(std::chrono::seconds(2), [] { returnFreeMemoryToSystem(); }); });
    d.makeDiagnosticLogController = liveDiagnosticLogController;
    d.makeCaptureService = [](const SnapshotStore& store, std::shared_ptr<const TelemetryLogging> logger)
        -> std::optional<SnapshotCaptureService> {
        return SnapshotCaptureService(store, WindowDiscoveryEngine::live(), DisplayResolver(), std::move(logger));
    };
    d.makeRestoreEngine = [](const SnapshotStore& store, std::shared_ptr<const TelemetryLogging> logger)
        -> std::optional<RestoreEngine> {
        return RestoreEngine::live(store, std::move(logger));
    };
    d.trustChecker = AccessibilityTrustChecker();
    d.openAccessHelpPage = [] {
        return PermissionCoordinator::openAccessHelpPage(QCoreApplication::applicationDirPath(), openWithDefaultHandler);
    };
    d.makeHotkeyPlatform = liveHotkeyPlatform;
    d.postToMainThread = [](std::function<void()> task) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
    };
    d.quit = [] { QCoreApplication::quit(); };
    d.systemTrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    // A connection of its own, opened the first time a later launch asks for the dashboard.
    d.bringWindowForward = [connection = std::make_shared<std::shared_ptr<X11Connection>>()](WId window) {
        if (!*connection)
            *connection = X11Connection::open();
        if (*connection)
            X11WindowWriter(**connection).activate(xcb_window_t(window));
    };
    d.ownWindows = std::make_shared<X11OwnWindows>();
    return d;
}

} // namespace zen
