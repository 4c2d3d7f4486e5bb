#include "App/ZentharionApp.h"

#include "Displays/ScreenParametersNotifier.h"
#include "Dashboard/DashboardView.h"
#include "Dashboard/DashboardWindowSupport.h"
#include "Infrastructure/AppLogger.h"
#include "Onboarding/OnboardingContainerView.h"
#include "Onboarding/OnboardingController.h"
#include "Onboarding/TextStyle.h"
#include "Infrastructure/ZentharionSettings.h"
#include "MenuBar/DisplayRestoreSuggestionToastContentView.h"
#include "MenuBar/ToastTextLabel.h"
#include "Permissions/PermissionInterventionRouter.h"
#include "Settings/SettingsView.h"
#include "Shared/UserDefaults.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/Recorders.h"
#include "Support/SnapshotFixtures.h"
#include "Support/LiveDesktop.h"
#include "Support/ManualScheduler.h"

#include "App/MenuBarTray.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QMenu>
#include <QTabWidget>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

namespace zen {
namespace {

using test::ImmediateScheduler;

class RecordingNotices final : public StatusNoticePresenting {
public:
    void showStatusNotice(const QString& message, double) override { shown.push_back(message); }
    void hideStatusNotice() override {}
    std::vector<QString> shown;
};

std::vector<QString> logLines;
void recordLog(QtMsgType, const QMessageLogContext& context, const QString& message)
{
    if (QByteArray(context.category).startsWith(AppLogger::subsystem))
        logLines.push_back(message);
}

const HotkeyBinding commandOptionK{40, 0x900, "Command-Option-K"};

enum class Folders { fine, unresolvable, logsIsAFile };

// Lets a window just shown come on screen and be drawn: a launch asks for it only after that.
void untilFirstDrawn()
{
    for (int turn = 0; turn < 3; ++turn)
        QCoreApplication::processEvents();
}

// Start-up on fakes: every step that reaches outside the process records its name.
struct AppHarness {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath("prefs.conf")};
    std::vector<QString> steps;
    bool trusted = true;
    bool hasRegistrar = true;
    Folders folders = Folders::fine;
    std::shared_ptr<test::FakeHotkeyRegistrar> registrar = std::make_shared<test::FakeHotkeyRegistrar>();
    std::shared_ptr<RecordingNotices> notices = std::make_shared<RecordingNotices>();
    HotkeyPressHandler press;
    std::vector<std::function<void()>> posted;
    std::vector<QUuid> restored;
    int accessHelpOpened = 0;
    // When set, stands for the live help-page opener instead of the counting one.
    std::function<std::optional<QString>()> helpPage;
    // Last changes to the dependencies before start-up.
    std::function<void(ZentharionAppDependencies&)> adjust;
    std::unique_ptr<ZentharionApp> app;

    QString snapshotsDir() const { return dir.filePath("Zentharion/Snapshots"); }

    QUuid saveLayout(const QString& name, std::optional<HotkeyBinding> hotkey)
    {
        Snapshot snapshot = test::makeSnapshot(name);
        snapshot.hotkey = std::move(hotkey);
        EXPECT_TRUE(SnapshotStore(snapshotsDir()).save(snapshot));
        return snapshot.id;
    }

    ZentharionAppDependencies dependencies()
    {
        ZentharionAppDependencies d;
        const auto step = [this](const char* name) { steps.push_back(QString::fromLatin1(name)); };
        d.registerDefaults = [=] { step("defaults"); };
        d.makeOperationOverlay = [=] {
            step("overlay");
            return std::make_shared<NoOpOperationOverlayPresenter>();
        };
        d.makeStatusNoticePresenter = [this] { return notices; };
        d.makeUpdateController = [=] {
            step("updates");
            return std::make_shared<AppUpdateController>();
        };
        d.makeLaunchAtLoginService = [=] {
            step("launchAtLogin");
            return std::unique_ptr<LaunchAtLoginServicing>();
        };
        d.resolveFolders = [=, this]()
            -> std::expected<AppSupportDirectoryBootstrapper, AppSupportDirectoryBootstrapper::BootstrapError> {
            step("folders");
            if (folders == Folders::unresolvable)
                return std::unexpected(AppSupportDirectoryBootstrapper::BootstrapError::applicationSupportUnavailable);
            if (folders == Folders::logsIsAFile) {
                QDir().mkpath(dir.filePath("Zentharion"));
                QFile blocker(dir.filePath("Zentharion/Logs"));
                EXPECT_TRUE(blocker.open(QIODevice::WriteOnly));
            }
            return AppSupportDirectoryBootstrapper::make(dir.path());
        };
        d.makeEventLog = [=](const QString&) -> std::shared_ptr<const TelemetryLogging> {
            step("eventLog");
            return std::make_shared<NoOpTelemetryLogger>();
        };
        d.makeDiagnosticLogController = [=](const QString& url) {
            step("diagnosticLog");
            return std::make_shared<DiagnosticLogController>(url);
        };
        d.makeCaptureService = [=](const SnapshotStore&, auto) -> std::optional<SnapshotCaptureService> {
            step("capture");
            return std::nullopt;
        };
        d.makeRestoreEngine = [=](const SnapshotStore&, auto) -> std::optional<RestoreEngine> {
            step("restore");
            return std::nullopt;
        };
        auto& o = d.controllerOptions;
        o.snapshotNamePrompt = [](const QString& name) { return name; };
        o.hotkeyPrompt = [](const QString&, const auto&) { return std::optional<HotkeyBinding>{}; };
        o.appNameResolver = [](const QString& id) { return id; };
        o.captureContextProvider = [] { return SnapshotCaptureService::CaptureContext{}; };
        o.scheduler = std::make_shared<ImmediateScheduler>();
        o.restoreOperation = [this](const QUuid& id) -> std::expected<RestoreResult, RestoreEngineFailure> {
            restored.push_back(id);
            return RestoreResult{};
        };
        d.trustChecker = AccessibilityTrustChecker([=, this] {
            step("trust");
            return trusted;
        });
        d.accessibilitySettingsOpener = [this] { ++accessHelpOpened; };
        d.makeHotkeyPlatform = [=, this]() -> HotkeyPlatform {
            step("hotkeys");
            if (!hasRegistrar)
                return {nullptr, [](HotkeyPressHandler) -> std::expected<EventHandlerReference, HotkeyManagerError> {
                            return std::unexpected(HotkeyManagerError::eventHandlerInstallFailed(-1));
                        }, {}};
            return {registrar,
                    [=, this](HotkeyPressHandler handler) -> std::expected<EventHandlerReference, HotkeyManagerError> {
                        step("install");
                        press = std::move(handler);
                        return 1;
                    },
                    {}};
        };
        d.postToMainThread = [this](std::function<void()> task) { posted.push_back(std::move(task)); };
        if (helpPage) {
            d.accessibilitySettingsOpener = {};
            d.openAccessHelpPage = helpPage;
        }
        if (adjust)
            adjust(d);
        d.userDefaults = &defaults;
        return d;
    }

    ZentharionApp& start()
    {
        logLines.clear();
        const auto previous = qInstallMessageHandler(recordLog);
        app = std::make_unique<ZentharionApp>(dependencies());
        qInstallMessageHandler(previous);
        return *app;
    }

    void runPostedTasks()
    {
        auto tasks = std::move(posted);
        posted.clear();
        for (auto& task : tasks)
            task();
        QCoreApplication::processEvents(); // the overlay's hop before the work starts
    }
};

TEST(ZentharionAppStartupTest, BuildsEverythingInOrderAndRegistersTheSavedShortcuts)
{
    AppHarness h;
    ASSERT_TRUE(QDir().mkpath(h.snapshotsDir()));
    h.saveLayout("Desk", commandOptionK);
    h.saveLayout("Plain", std::nullopt);
    auto& app = h.start();

    EXPECT_EQ(h.steps, (std::vector<QString>{"defaults", "overlay", "updates", "folders", "eventLog", "diagnosticLog",
                                             "capture", "restore", "trust", "hotkeys", "install", "trust"}));
    EXPECT_FALSE(app.bootstrapErrorMessage());
    ASSERT_TRUE(app.diagnosticLogController());
    EXPECT_TRUE(app.diagnosticLogController()->eventsLogURL().endsWith("Zentharion/Logs/events.log"));
    EXPECT_EQ(app.snapshotMenuController()->snapshotSummaries().size(), 2u);
    EXPECT_EQ(h.registrar->live.size(), 1u);
    for (const char* folder : {"Zentharion", "Zentharion/Snapshots", "Zentharion/Logs"})
        EXPECT_TRUE(QFileInfo(h.dir.filePath(folder)).isDir()) << folder;
    EXPECT_FALSE(QFile::exists(h.dir.filePath("Zentharion/Logs/events.log")));
}

// Listing a large store must not hold up the tray icon: the layouts (and their shortcuts)
// come once start-up work begins, and a user who opens the menu or the dashboard first makes
// it begin then.
TEST(ZentharionAppStartupTest, TheLayoutsAreListedOnlyOnceStartUpWorkBegins)
{
    enum class Trigger { menu, dashboard, delay };
    for (const Trigger trigger : {Trigger::menu, Trigger::dashboard, Trigger::delay}) {
        SCOPED_TRACE(int(trigger));
        AppHarness h;
        ASSERT_TRUE(QDir().mkpath(h.snapshotsDir()));
        h.saveLayout("Desk", commandOptionK);
        auto work = std::make_shared<StartUpWork>();
        int waiting = 0;
        work->add([&] { ++waiting; });
        h.adjust = [&](ZentharionAppDependencies& d) {
            d.startUpWork = work;
            d.startUpWorkDelay = std::chrono::milliseconds(trigger == Trigger::delay ? 1 : 3600 * 1000);
        };
        auto& app = h.start();
        app.showMenuBarExtra();
        EXPECT_TRUE(app.snapshotMenuController()->snapshotSummaries().empty());
        EXPECT_TRUE(h.registrar->live.empty());
        EXPECT_EQ(waiting, 0);

        switch (trigger) {
        case Trigger::menu:
            app.menuBarTray()->menu()->popup(QPoint(0, 0));
            app.menuBarTray()->menu()->hide();
            break;
        case Trigger::dashboard:
            app.openOrFocusDashboard();
            app.dashboardWindow()->close();
            break;
        case Trigger::delay:
            EXPECT_TRUE(testsupport::waitFor([&] { return waiting == 1; }, 5000, 1));
            break;
        }
        EXPECT_EQ(waiting, 1);
        EXPECT_EQ(app.snapshotMenuController()->snapshotSummaries().size(), 1u);
        EXPECT_EQ(h.registrar->live.size(), 1u);
        app.runStartUpWorkNow();
        EXPECT_EQ(waiting, 1) << "runs once";
        QCoreApplication::processEvents();
    }
}

TEST(ZentharionAppStartupTest, WithoutStorageRunsWithTheReasonAndNeitherSavesNorRestores)
{
    struct Case {
        Folders folders;
        QString reason; // empty: the file system's own message
    };
    for (const Case& c : {Case{Folders::unresolvable, "Application Support directory could not be resolved."},
                          Case{Folders::logsIsAFile, {}}}) {
        AppHarness h;
        h.folders = c.folders;
        auto& app = h.start();
        SCOPED_TRACE(int(c.folders));

        EXPECT_EQ(h.steps, (std::vector<QString>{"defaults", "overlay", "updates", "folders", "trust", "hotkeys",
                                                 "install", "trust"}));
        ASSERT_TRUE(app.bootstrapErrorMessage());
        EXPECT_FALSE(app.bootstrapErrorMessage()->isEmpty());
        if (!c.reason.isEmpty()) {
            EXPECT_EQ(*app.bootstrapErrorMessage(), c.reason);
        }
        EXPECT_NE(std::find(logLines.begin(), logLines.end(),
                            "Failed to prepare Application Support directories: " + *app.bootstrapErrorMessage()),
                  logLines.end());
        EXPECT_FALSE(app.diagnosticLogController());

        // The injected restore must not run: there is no store to restore from.
        auto& controller = *app.snapshotMenuController();
        EXPECT_FALSE(controller.restoreSnapshot(QUuid::createUuid()));
        EXPECT_FALSE(controller.captureCurrentSnapshot());
        EXPECT_TRUE(h.restored.empty());
        const auto items = MenuBarMenu::items(app.menuBarMenuState());
        ASSERT_FALSE(items.empty());
        EXPECT_EQ(items[0].title, "Storage setup failed");
        EXPECT_EQ(items[1].title, *app.bootstrapErrorMessage());
    }
}

TEST(ZentharionAppHotkeyTest, APressRestoresInALaterTaskOnlyWithAccess)
{
    struct Case {
        bool trusted;
        bool restores;
        std::vector<QString> notices;
    };
    for (const Case& c : {Case{true, true, {}},
                          Case{false, false, {PermissionInterventionRouter::passivePermissionNotice().message}}}) {
        AppHarness h;
        h.trusted = c.trusted;
        ASSERT_TRUE(QDir().mkpath(h.snapshotsDir()));
        const QUuid desk = h.saveLayout("Desk", commandOptionK);
        h.start();
        SCOPED_TRACE(c.trusted);

        ASSERT_TRUE(h.press);
        h.press({HotkeyManager::hotkeySignature, 1});
        EXPECT_TRUE(h.restored.empty()) << "the restore waits for its own task";
        ASSERT_EQ(h.posted.size(), 1u);
        h.runPostedTasks();

        EXPECT_EQ(h.restored, c.restores ? std::vector<QUuid>{desk} : std::vector<QUuid>{});
        EXPECT_EQ(h.notices->shown, c.notices);
    }
}

// A press while a save waits for its name is the person asking for the program, which another
// window may have hidden: the prompt comes forward with the keyboard, and nothing is restored
// (the save comes first). Once the prompt is answered, the press restores again.
TEST(ZentharionAppHotkeyTest, APressWhileTheNamePromptWaitsBringsItForwardAndRestoresNothing)
{
    // The prompt is the active window's dialog: one an earlier test left to be deleted must not
    // be it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    AppHarness h;
    ASSERT_TRUE(QDir().mkpath(h.snapshotsDir()));
    const QUuid desk = h.saveLayout("Desk", commandOptionK);
    std::vector<WId> brought;
    h.adjust = [&](ZentharionAppDependencies& d) {
        d.bringWindowForward = [&](WId window) { brought.push_back(window); };
        d.controllerOptions.snapshotNamePrompt = {}; // the real prompt
        d.controllerOptions.captureOperation = [](const QString& name, const QDateTime&, const auto&)
            -> std::expected<Snapshot, SnapshotCaptureFailure> { return test::makeSnapshot(name); };
    };
    h.start();
    WId prompt = 0;
    std::vector<WId> broughtByPress;
    std::vector<QUuid> restoredMeanwhile;
    QTimer press;
    press.setInterval(10);
    QObject::connect(&press, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->windowHandle() || !dialog->windowHandle()->isExposed())
            return;
        press.stop();
        prompt = dialog->winId();
        QCoreApplication::processEvents();
        brought.clear();
        h.press({HotkeyManager::hotkeySignature, 1});
        h.runPostedTasks();
        broughtByPress = brought;
        restoredMeanwhile = h.restored;
        dialog->reject();
    });
    press.start();
    h.app->performMenuBarAction(MenuBarAction::saveCurrentLayout);
    ASSERT_NE(prompt, 0u) << "the prompt was never on screen";
    EXPECT_EQ(broughtByPress, std::vector<WId>{prompt});
    EXPECT_EQ(restoredMeanwhile, std::vector<QUuid>{});

    h.press({HotkeyManager::hotkeySignature, 1});
    h.runPostedTasks();
    EXPECT_EQ(h.restored, std::vector<QUuid>{desk});
}

TEST(ZentharionAppHotkeyTest, LayoutChangesReRegisterAndACaptureSuspendsTheShortcuts)
{
    AppHarness h;
    ASSERT_TRUE(QDir().mkpath(h.snapshotsDir()));
    const QUuid desk = h.saveLayout("Desk", commandOptionK);
    auto& controller = *h.start().snapshotMenuController();
    ASSERT_EQ(h.registrar->live.size(), 1u);

    EXPECT_FALSE(controller.setHotkeyCaptureActive(true));
    EXPECT_TRUE(h.registrar->live.empty());
    EXPECT_FALSE(controller.setHotkeyCaptureActive(false));
    EXPECT_EQ(h.registrar->live.size(), 1u);

    // The tray's prompt and the dashboard's field open together: the first to close leaves
    // the shortcuts off for the other.
    EXPECT_FALSE(controller.setHotkeyCaptureActive(true));
    EXPECT_FALSE(controller.setHotkeyCaptureActive(true));
    EXPECT_FALSE(controller.setHotkeyCaptureActive(false));
    EXPECT_TRUE(h.registrar->live.empty());
    EXPECT_FALSE(controller.setHotkeyCaptureActive(false));
    EXPECT_EQ(h.registrar->live.size(), 1u);

    controller.clearHotkey(desk);
    EXPECT_TRUE(h.registrar->live.empty());
    ASSERT_TRUE(controller.setHotkey(HotkeyBinding{38, 0x1100, "Control-Command-J"}, desk));
    EXPECT_EQ(h.registrar->live.size(), 1u);
}

TEST(ZentharionAppHotkeyTest, WithoutGlobalShortcutsTheFailureIsShownAndLogged)
{
    AppHarness h;
    h.hasRegistrar = false;
    auto& controller = *h.start().snapshotMenuController();
    const QString message = "Global hotkey handling could not be installed. X11 status: -1.";
    ASSERT_TRUE(controller.status());
    EXPECT_EQ(controller.status()->message, message);
    EXPECT_TRUE(controller.status()->isError());
    EXPECT_NE(std::find(logLines.begin(), logLines.end(), "Global hotkeys: " + message), logLines.end());
}

TEST(ZentharionAppMenuTest, SaveAndRestoreFromTheMenuAskForAccessFirst)
{
    for (const bool trusted : {true, false}) {
        AppHarness h;
        h.trusted = trusted;
        ASSERT_TRUE(QDir().mkpath(h.snapshotsDir()));
        const QUuid desk = h.saveLayout("Desk", std::nullopt);
        auto& app = h.start();
        SCOPED_TRACE(trusted);

        app.performMenuBarAction(MenuBarAction::restoreLayout, desk);
        QCoreApplication::processEvents();
        EXPECT_EQ(h.restored, trusted ? std::vector<QUuid>{desk} : std::vector<QUuid>{});
        EXPECT_EQ(h.accessHelpOpened, 0) << "the onboarding window explains, with its own button to the help";
        EXPECT_TRUE(h.notices->shown.empty()) << "the menu explains, not a passive notice";
        if (trusted) {
            EXPECT_EQ(app.onboardingWindow(), nullptr);
            continue;
        }
        // Refused for lack of access: the onboarding window on its permission page.
        ASSERT_NE(app.onboardingWindow(), nullptr);
        EXPECT_TRUE(app.onboardingWindow()->isVisible());
        EXPECT_EQ(app.onboardingWindow()->windowTitle(), QStringLiteral("Zentharion - Window Access Required"));
        EXPECT_EQ(app.onboardingController()->step(), OnboardingController::Step::permission);
        // A second refusal brings the same window forward.
        const auto* first = app.onboardingWindow();
        app.performMenuBarAction(MenuBarAction::saveCurrentLayout);
        EXPECT_EQ(app.onboardingWindow(), first);
        app.onboardingWindow()->close();
        QCoreApplication::processEvents();
        EXPECT_EQ(h.defaults.stringForKey(QStringLiteral("Zentharion.Onboarding.status")), QStringLiteral("deferred"));
    }
}

// One overlay controller shows the progress, the router's notices and the display-change
// offers; the display-change watcher runs on the storage-success path only, and its offer
// restores through the permission check.
TEST(ZentharionAppStartupTest, OneOverlayServesEveryFeedbackAndADisplayChangeOffersItsLayout)
{
    AppHarness h;
    const DisplayRecord laptop = test::makeDisplay(1, CGRect(0, 0, 1440, 900), true);
    const DisplayRecord studio = test::makeDisplay(2, CGRect(1440, 0, 2560, 1440));
    Snapshot desk = test::makeSnapshot("Desk");
    desk.sourceDisplayState = DisplayState::make({laptop, studio}, 1);
    ASSERT_TRUE(SnapshotStore(h.snapshotsDir()).save(desk));

    auto scheduler = std::make_shared<test::ManualScheduler>();
    ScreenParametersNotifier notifier;
    std::vector<DisplayRecord> displays{laptop};
    UserDefaults preferences(h.dir.filePath("preferences.ini"));
    ZentharionSettings::registerDefaults(preferences);
    std::shared_ptr<OperationOverlayController> overlay;
    h.adjust = [&](ZentharionAppDependencies& d) {
        d.makeOverlayController = [&] {
            OperationOverlayController::Environment e;
            e.screens = [] { return std::vector<OperationOverlayController::Screen>{{QRect(0, 0, 1440, 900), QRect(0, 0, 1440, 900)}}; };
            e.scheduler = scheduler;
            overlay = std::make_shared<OperationOverlayController>(OperationOverlayController::Durations{},
                                                                   OperationOverlayController::PresentationBarrier{},
                                                                   std::move(e));
            return overlay;
        };
        d.displayChangeOptions = [&] {
            DisplayChangeRestoreController::Options o;
            o.notifier = &notifier;
            o.displayStateProvider = [&] { return DisplayState::make(displays, 1); };
            o.scheduler = scheduler;
            o.userDefaults = &preferences;
            return o;
        };
    };

    h.start();
    ASSERT_TRUE(overlay);
    ASSERT_TRUE(h.app->displayChangeController());
    const auto plugIn = [&](std::vector<DisplayRecord> now) {
        displays = std::move(now);
        notifier.post();
        QCoreApplication::processEvents();
        scheduler->advance(std::chrono::seconds(2));
    };
    const auto acceptOffer = [&] {
        auto* toast = qobject_cast<DisplayRestoreSuggestionToastContentView*>(
            overlay->displayRestoreSuggestionWindow()->contentView());
        ASSERT_TRUE(toast);
        EXPECT_EQ(toast->questionLabel()->text(), "Restore \"Desk\"?");
        toast->restoreButton()->click();
        QCoreApplication::processEvents();
        scheduler->advance(std::chrono::milliseconds(50));
    };

    // Access lost between the offer and the click: the router's notice, on the overlay.
    plugIn({laptop, studio});
    ASSERT_TRUE(overlay->isDisplayRestoreSuggestionVisible());
    h.trusted = false;
    acceptOffer();
    EXPECT_TRUE(h.restored.empty());
    ASSERT_TRUE(overlay->statusNoticeWindow());
    EXPECT_TRUE(h.notices->shown.empty());

    h.trusted = true;
    plugIn({laptop});
    plugIn({laptop, studio});
    ASSERT_TRUE(overlay->isDisplayRestoreSuggestionVisible());
    acceptOffer();
    EXPECT_EQ(h.restored, std::vector<QUuid>{desk.id});

    // Without storage there is nothing to offer.
    AppHarness broken;
    broken.folders = Folders::unresolvable;
    broken.adjust = h.adjust;
    broken.start();
    EXPECT_FALSE(broken.app->displayChangeController());
}

// "Open Zentharion" in the tray and "Open Dashboard" in the window's menu bar both bring the
// one dashboard window forward.
TEST(ZentharionAppDashboardTest, OpeningTheDashboardTwiceKeepsOneWindow)
{
    AppHarness h;
    auto& app = h.start();
    const auto openItem = [&] {
        for (const auto& item : MenuBarMenu::items(app.menuBarMenuState()))
            if (item.action == MenuBarAction::openDashboard)
                return item;
        return MenuBarItem{};
    };
    EXPECT_EQ(openItem().title, "Open Zentharion");
    EXPECT_TRUE(openItem().enabled);

    app.performMenuBarAction(MenuBarAction::openDashboard);
    QPointer<DashboardView> first = app.dashboardWindow();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    first->commands().openDashboardAction()->trigger();
    app.performMenuBarAction(MenuBarAction::openDashboard);
    EXPECT_EQ(app.dashboardWindow(), first.data());
    int dashboards = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        dashboards += widget->isVisible() && widget->objectName() == DashboardWindowSupport::identifier();
    EXPECT_EQ(dashboards, 1);

    first->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    app.performMenuBarAction(MenuBarAction::openDashboard);
    ASSERT_TRUE(app.dashboardWindow());
    EXPECT_TRUE(app.dashboardWindow()->isVisible());
    app.dashboardWindow()->close();
}

// Closing the dashboard keeps it, hidden: the next opening, from the tray or another launch of
// the program, shows that window again; the window manager is asked to bring it forward only
// once it manages it again.
TEST(ZentharionAppDashboardTest, AClosedDashboardIsKeptAndShownAgain)
{
    AppHarness h;
    std::vector<WId> brought;
    h.adjust = [&](ZentharionAppDependencies& d) { d.bringWindowForward = [&](WId window) { brought.push_back(window); }; };
    auto& app = h.start();
    app.performMenuBarAction(MenuBarAction::openDashboard);
    QPointer<DashboardView> window = app.dashboardWindow();
    ASSERT_TRUE(window);
    // Quitting closes every window first and gives up at one that refuses.
    EXPECT_TRUE(window->close()) << "the kept window refused to close";
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(window) << "closing destroyed the window";
    EXPECT_FALSE(window->isVisible());

    app.answerAnotherLaunch(false);
    EXPECT_EQ(app.dashboardWindow(), window.data());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(brought.empty()) << "asked for before the window manager could know the window again";
    untilFirstDrawn();
    EXPECT_EQ(brought, std::vector<WId>{window->winId()});

    window->close();
    app.performMenuBarAction(MenuBarAction::openDashboard);
    EXPECT_EQ(app.dashboardWindow(), window.data());
    EXPECT_TRUE(window->isVisible());
    window->close();
}

// The window manager's view of the program's windows, as a test sets it.
struct FakeOwnWindows final : OwnWindows {
    OwnWindowState now;
    // What the server shows while the window manager has yet to handle what it was sent.
    std::optional<OwnWindowState> unhandled;
    // Told of each wait for the window manager, with its bound.
    std::function<void(std::chrono::milliseconds)> waited;
    std::optional<OwnWindowState> state(WId) override { return unhandled.value_or(now); }
    std::optional<OwnWindowState> stateAfterPendingRequests(WId, std::chrono::milliseconds atMost) override
    {
        if (waited)
            waited(atMost);
        return now;
    }
    std::optional<QRect> frame(WId) override { return std::nullopt; }
    std::optional<QMargins> frameExtents(WId) override { return std::nullopt; }
};

// A launch asks for the dashboard it shows once the window is first on screen, which a busy
// machine reaches late: what the person did meanwhile, as the window manager tells it, stands.
TEST(ZentharionAppDashboardTest, ARequestLeftPendingAtTheFirstShowingIsDroppedOnceThePersonMovedOn)
{
    constexpr WId editor = 0x400001, mail = 0x500001;
    constexpr WId dashboard = 1; // stands for the dashboard's own window
    struct Case {
        const char* name;
        OwnWindowState meanwhile;
        bool asked;
        bool handledLate = false; // by a busy window manager
    };
    for (const auto& c : {Case{"nothing happened", {false, editor}, true},
                          Case{"the window was minimized", {true, editor}, false},
                          Case{"the window was minimized, handled late", {true, editor}, false, true},
                          Case{"another window was activated", {false, mail}, false},
                          Case{"the window manager gave it the keyboard", {false, dashboard}, false}}) {
        SCOPED_TRACE(c.name);
        AppHarness h;
        auto windows = std::make_shared<FakeOwnWindows>();
        windows->now = {false, editor};
        std::vector<WId> brought;
        h.adjust = [&](ZentharionAppDependencies& d) {
            d.bringWindowForward = [&](WId window) { brought.push_back(window); };
            d.ownWindows = windows;
        };
        auto& app = h.start();
        app.answerAnotherLaunch(false);
        ASSERT_TRUE(brought.empty());
        windows->now = c.meanwhile;
        if (c.handledLate)
            windows->unhandled = OwnWindowState{false, editor};
        if (windows->now.activeWindow == dashboard)
            windows->now.activeWindow = app.dashboardWindow()->winId();
        untilFirstDrawn();
        EXPECT_EQ(brought.size(), c.asked ? 1u : 0u);
        delete app.dashboardWindow();
    }
}

// A launch asks the window manager about the dashboard it shows only once the window is drawn
// (a blank window would stand while it waits), and waits for the answer no longer than a person
// waits unawares: a window manager that stopped, and never answers, holds the program a moment
// at most, and the dashboard still comes forward.
TEST(ZentharionAppDashboardTest, ALaunchAsksTheWindowManagerOnceTheDashboardIsDrawnAndWaitsAMomentAtMost)
{
    // Paints of the dashboard, as the toolkit hands them to its widgets.
    struct PaintWatch final : QObject {
        bool painted = false;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Paint && watched->isWidgetType()
                && qobject_cast<DashboardView*>(static_cast<QWidget*>(watched)->window()))
                painted = true;
            return false;
        }
    } paints;
    QCoreApplication::instance()->installEventFilter(&paints);
    AppHarness h;
    auto windows = std::make_shared<FakeOwnWindows>();
    windows->now = {false, 0x400001};
    std::optional<bool> drawnWhenAsked;
    std::chrono::milliseconds heldFor{0};
    windows->waited = [&](std::chrono::milliseconds atMost) {
        drawnWhenAsked = paints.painted;
        heldFor += atMost; // it never answers: each wait lasts its bound
    };
    std::vector<WId> brought;
    h.adjust = [&](ZentharionAppDependencies& d) {
        d.bringWindowForward = [&](WId window) { brought.push_back(window); };
        d.ownWindows = windows;
    };
    auto& app = h.start();
    app.answerAnotherLaunch(false);
    untilFirstDrawn();
    QCoreApplication::instance()->removeEventFilter(&paints);
    EXPECT_EQ(drawnWhenAsked, true) << "asked before the window was drawn, or never";
    EXPECT_LE(heldFor, std::chrono::milliseconds(1000));
    ASSERT_TRUE(app.dashboardWindow());
    EXPECT_EQ(brought, std::vector<WId>{app.dashboardWindow()->winId()});
    delete app.dashboardWindow();
}

// While the name prompt of a save from the tray is open, the program's windows wait for it: a
// later launch brings the prompt forward, not the dashboard it blocks, whether that dashboard
// was open already or opens now.
TEST(ZentharionAppDashboardTest, ALaterLaunchBringsTheOpenNamePromptForward)
{
    for (const bool dashboardOpen : {false, true}) {
        SCOPED_TRACE(dashboardOpen ? "dashboard open" : "no dashboard yet");
        AppHarness h;
        h.defaults.setString("Zentharion.Onboarding.status", "completedAuthorized");
        std::vector<WId> brought;
        h.adjust = [&](ZentharionAppDependencies& d) {
            d.bringWindowForward = [&](WId window) { brought.push_back(window); };
            d.controllerOptions.snapshotNamePrompt = {}; // the real prompt
            d.controllerOptions.captureOperation = [](const QString& name, const QDateTime&, const auto&)
                -> std::expected<Snapshot, SnapshotCaptureFailure> { return test::makeSnapshot(name); };
        };
        auto& app = h.start();
        if (dashboardOpen) {
            app.openOrFocusDashboard();
            QCoreApplication::processEvents();
        }
        WId prompt = 0;
        bool promptActive = false;
        std::vector<WId> broughtByLaunch;
        QTimer launch;
        launch.setInterval(10);
        QObject::connect(&launch, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->windowHandle() || !dialog->windowHandle()->isExposed())
                return;
            launch.stop();
            prompt = dialog->winId();
            QCoreApplication::processEvents();
            brought.clear();
            app.answerAnotherLaunch(false);
            for (int i = 0; i < 5; ++i)
                QCoreApplication::processEvents();
            broughtByLaunch = brought;
            promptActive = QApplication::activeWindow() == dialog;
            dialog->reject();
        });
        launch.start();
        app.performMenuBarAction(MenuBarAction::saveCurrentLayout);
        ASSERT_NE(prompt, 0u) << "the prompt was never on screen";
        EXPECT_TRUE(app.dashboardWindow() && app.dashboardWindow()->isVisible());
        EXPECT_EQ(broughtByLaunch, std::vector<WId>{prompt});
        EXPECT_TRUE(promptActive);
        delete app.dashboardWindow();
    }
}

// Opening the dashboard that is on screen asks the window manager for it, whatever the toolkit
// last heard of its state (a minimize reaches it late), and for the dialog that blocks it when
// one is open: the window comes back with its confirmation, not stuck behind a hidden one.
TEST(ZentharionAppDashboardTest, OpeningTheDashboardOnScreenAsksTheWindowManagerForItOrItsDialog)
{
    AppHarness h;
    std::vector<WId> brought;
    h.adjust = [&](ZentharionAppDependencies& d) { d.bringWindowForward = [&](WId window) { brought.push_back(window); }; };
    auto& app = h.start();
    app.performMenuBarAction(MenuBarAction::openDashboard);
    QPointer<DashboardView> window = app.dashboardWindow();
    ASSERT_TRUE(window);
    QCoreApplication::processEvents();
    brought.clear();
    app.performMenuBarAction(MenuBarAction::openDashboard);
    EXPECT_EQ(brought, std::vector<WId>{window->winId()});

    QDialog confirmation(window);
    confirmation.setWindowModality(Qt::WindowModal);
    confirmation.show();
    brought.clear();
    app.answerAnotherLaunch(false);
    EXPECT_EQ(brought, std::vector<WId>{confirmation.winId()});
    confirmation.close();
    window->close();
}

// The first launch, and a later one whose onboarding was put off while access is still
// missing, show the dashboard with the onboarding window over it; other launches start quietly.
TEST(ZentharionAppDashboardTest, OnlyTheFirstLaunchShowsTheDashboardAndOnboarding)
{
    struct Case {
        std::optional<QString> onboarding;
        bool trusted;
        bool shows;
        const char* title;
    };
    for (const auto& c : {Case{std::nullopt, false, true, "Welcome to Zentharion"},
                          Case{std::nullopt, true, true, "Welcome to Zentharion"},
                          Case{QString("something else"), true, true, "Welcome to Zentharion"},
                          Case{QString("deferred"), false, true, "Zentharion - Window Access Required"},
                          Case{QString("deferred"), true, false, ""},
                          Case{QString("completedAuthorized"), false, false, ""}}) {
        AppHarness h;
        h.trusted = c.trusted;
        if (c.onboarding)
            h.defaults.setString("Zentharion.Onboarding.status", *c.onboarding);
        auto& app = h.start();
        SCOPED_TRACE(c.onboarding.value_or("none").toStdString() + (c.trusted ? " trusted" : " untrusted"));
        EXPECT_EQ(app.showsDashboardAtLaunch(), c.shows);
        app.showDashboardAtLaunchIfNeeded();
        QCoreApplication::processEvents();
        EXPECT_EQ(app.dashboardWindow() != nullptr, c.shows);
        EXPECT_EQ(app.onboardingWindow() != nullptr, c.shows);
        if (app.onboardingWindow()) {
            EXPECT_EQ(app.onboardingWindow()->windowTitle(), QString::fromUtf8(c.title));
            // The welcome page shows the program's icon, not an empty square.
            EXPECT_FALSE(app.onboardingWindow()->windowIcon().isNull());
        }
        // Opening the dashboard again in the same process never brings onboarding back.
        if (auto* onboarding = app.onboardingWindow())
            onboarding->close();
        QCoreApplication::processEvents();
        delete app.dashboardWindow();
        app.openOrFocusDashboard();
        QCoreApplication::processEvents();
        EXPECT_EQ(app.onboardingWindow(), nullptr);
    }
}

// Without a tray the dashboard is the only way in: it opens once the grace period has passed
// with no tray, and a later launch brings it forward, but a launch at login stays quiet where a
// tray shows the program.
TEST(ZentharionAppDashboardTest, WithoutATrayTheDashboardOpensAfterTheGraceAndALaterLaunchBringsItForward)
{
    struct Case {
        const char* name;
        bool trayAtStart;
        bool trayDuringGrace;
        bool opensAfterGrace;
    };
    for (const auto& c : {Case{"tray from the start", true, true, false},
                          Case{"tray starting with the session", false, true, false},
                          Case{"no tray", false, false, true}}) {
        SCOPED_TRACE(c.name);
        AppHarness h;
        h.defaults.setString("Zentharion.Onboarding.status", "completedAuthorized");
        auto scheduler = std::make_shared<test::ManualScheduler>();
        bool tray = c.trayAtStart;
        std::vector<WId> brought;
        h.adjust = [&](ZentharionAppDependencies& d) {
            d.controllerOptions.scheduler = scheduler;
            d.systemTrayAvailable = [&] { return tray; };
            d.bringWindowForward = [&](WId window) { brought.push_back(window); };
        };
        auto& app = h.start();
        app.showDashboardIfNoTrayAppears();
        scheduler->advance(ZentharionApp::trayGracePeriod - std::chrono::milliseconds(1));
        EXPECT_EQ(app.dashboardWindow(), nullptr) << "opened before the grace period was over";
        tray = c.trayDuringGrace;
        scheduler->advance(std::chrono::milliseconds(1));
        EXPECT_EQ(app.dashboardWindow() != nullptr, c.opensAfterGrace);
        delete app.dashboardWindow();

        for (const bool atLogin : {true, false}) {
            SCOPED_TRACE(atLogin ? "at login" : "by the user");
            brought.clear();
            app.answerAnotherLaunch(atLogin);
            const bool opens = !(atLogin && tray);
            EXPECT_EQ(app.dashboardWindow() != nullptr, opens);
            if (!opens)
                continue;
            // A new window is brought forward once on screen, an open one at once.
            EXPECT_TRUE(brought.empty()) << "asked for before the window manager could know the window";
            untilFirstDrawn();
            EXPECT_EQ(brought, std::vector<WId>{app.dashboardWindow()->winId()});
            app.answerAnotherLaunch(atLogin);
            EXPECT_EQ(brought.size(), 2u);
            delete app.dashboardWindow();
        }
    }

    // A program that ends within the grace period leaves no call behind into what is gone.
    AppHarness h;
    auto scheduler = std::make_shared<test::ManualScheduler>();
    h.adjust = [&](ZentharionAppDependencies& d) {
        d.controllerOptions.scheduler = scheduler;
        d.systemTrayAvailable = [] { return false; };
    };
    h.start().showDashboardIfNoTrayAppears();
    h.app.reset();
    scheduler->advance(ZentharionApp::trayGracePeriod);
}

// A first launch without a tray opens the dashboard with the guide in front of it; the end of
// the wait for a tray leaves the guide in front.
TEST(ZentharionAppDashboardTest, TheWaitForATrayNeverRaisesTheDashboardOverTheFirstLaunchGuide)
{
    AppHarness h;
    auto scheduler = std::make_shared<test::ManualScheduler>();
    h.adjust = [&](ZentharionAppDependencies& d) {
        d.controllerOptions.scheduler = scheduler;
        d.systemTrayAvailable = [] { return false; };
    };
    auto& app = h.start();
    app.showDashboardAtLaunchIfNeeded();
    app.showDashboardIfNoTrayAppears();
    QCoreApplication::processEvents();
    ASSERT_NE(app.onboardingWindow(), nullptr);
    ASSERT_EQ(QApplication::activeWindow(), app.onboardingWindow());
    scheduler->advance(ZentharionApp::trayGracePeriod);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), app.onboardingWindow());
    app.onboardingWindow()->close();
    delete app.dashboardWindow();
}

// The program's icon costs a theme search and an SVG renderer: the tray alone never loads
// it, and any window that appears, the program's own or a prompt, has it.
TEST(ZentharionAppMenuTest, WindowsGetTheProgramIconTheTrayAloneNeverLoadsIt)
{
    for (const bool ownWindow : {true, false}) {
        SCOPED_TRACE(ownWindow ? "dashboard" : "a prompt");
        QApplication::setWindowIcon(QIcon());
        AppHarness h;
        auto& app = h.start();
        app.showMenuBarExtra();
        QCoreApplication::processEvents();
        EXPECT_TRUE(QApplication::windowIcon().isNull());
        QWidget prompt(nullptr, Qt::Dialog);
        if (ownWindow)
            app.openOrFocusDashboard();
        else
            prompt.show();
        EXPECT_FALSE(QApplication::windowIcon().isNull());
        if (ownWindow) {
            ASSERT_TRUE(app.dashboardWindow());
            EXPECT_FALSE(app.dashboardWindow()->windowIcon().isNull());
            app.dashboardWindow()->close();
        }
        QCoreApplication::processEvents();
    }
}

// The icon goes up before the rest of the program is built; its menu, opened before that was
// done, had nothing to offer, and shows the program's rows once start-up hands them over.
TEST(ZentharionAppMenuTest, ATrayIconShownBeforeStartUpGetsItsMenu)
{
    auto early = std::make_unique<MenuBarTray>(nullptr, nullptr);
    early->show();
    QMenu* menu = early->menu();
    EXPECT_TRUE(menu->actions().isEmpty());

    AppHarness h;
    int quits = 0;
    h.adjust = [&](ZentharionAppDependencies& d) { d.quit = [&] { ++quits; }; };
    auto& app = h.start();
    app.showMenuBarExtra(std::move(early));
    ASSERT_TRUE(app.menuBarTray());
    EXPECT_EQ(app.menuBarTray()->menu(), menu);
    QCoreApplication::processEvents(); // the rebuild it asked for
    const auto actions = menu->actions();
    const auto quit = std::find_if(actions.begin(), actions.end(), [](const QAction* a) { return a->text() == "&Quit Zentharion"; });
    ASSERT_NE(quit, actions.end());
    (*quit)->trigger();
    EXPECT_EQ(quits, 1);
}

// A window manager that starts or ends while the program runs is noticed when the user opens
// the menu, not only at the next save or restore.
TEST(ZentharionAppMenuTest, OpeningTheTrayMenuReadsAccessAgain)
{
    AppHarness h;
    auto& app = h.start();
    app.showMenuBarExtra();
    ASSERT_TRUE(app.menuBarTray());
    QMenu& menu = *app.menuBarTray()->menu();
    const auto firstRow = [&] { return menu.actions().isEmpty() ? QString() : menu.actions()[0]->text(); };

    for (const bool trusted : {false, true, false}) {
        SCOPED_TRACE(trusted);
        h.trusted = trusted;
        const auto checks = std::count(h.steps.begin(), h.steps.end(), "trust");
        menu.popup(QPoint(0, 0));
        EXPECT_EQ(std::count(h.steps.begin(), h.steps.end(), "trust"), checks + 1);
        EXPECT_EQ(app.permissionCoordinator()->authorizationState(),
                  trusted ? AccessibilityAuthorizationState::authorized : AccessibilityAuthorizationState::unauthorized);
        EXPECT_EQ(firstRow() == "&Window Access Required", !trusted);
        menu.hide();
        QCoreApplication::processEvents();
    }
}

// Two layouts with one shortcut: the first keeps it, the second shows it as refused, and the
// status names the layout that holds it.
TEST(ZentharionAppMenuTest, ARefusedShortcutIsMarkedAndTheStatusNamesItsHolder)
{
    AppHarness h;
    ASSERT_TRUE(QDir().mkpath(h.snapshotsDir()));
    const QUuid desk = h.saveLayout("Desk", commandOptionK);
    const QUuid copy = h.saveLayout("Copy", commandOptionK);
    auto& app = h.start();

    const auto state = app.menuBarMenuState();
    EXPECT_EQ(state.refusedHotkeyLayoutIDs.size(), 1u);
    const auto summaries = app.snapshotMenuController()->snapshotSummaries();
    ASSERT_EQ(summaries.size(), 2u);
    const QUuid holder = summaries[0].id; // the first in list order keeps the shortcut
    const QUuid refused = holder == desk ? copy : desk;
    EXPECT_TRUE(state.refusedHotkeyLayoutIDs.contains(refused));
    ASSERT_TRUE(state.status);
    EXPECT_EQ(state.status->message, "\"" + summaries[0].name + "\" already uses that hotkey.");
    EXPECT_EQ(h.registrar->live.size(), 1u);
}

// Asking for the help page when nothing can show it says so in the menu's status line.
TEST(ZentharionAppMenuTest, AHelpPageThatCannotBeOpenedIsReported)
{
    for (const bool opens : {true, false}) {
        AppHarness h;
        h.trusted = false;
        int asked = 0;
        h.helpPage = [&]() -> std::optional<QString> {
            ++asked;
            if (opens)
                return std::nullopt;
            return QString("The help page could not be opened.");
        };
        auto& app = h.start();
        SCOPED_TRACE(opens);
        app.performMenuBarAction(MenuBarAction::openAccessibilitySettings);
        EXPECT_EQ(asked, 1);
        const auto status = app.snapshotMenuController()->status();
        if (opens) {
            EXPECT_FALSE(status);
        } else {
            ASSERT_TRUE(status);
            EXPECT_TRUE(status->isError());
            EXPECT_EQ(status->message, "The help page could not be opened.");
        }
    }
}

TEST(ZentharionAppSettingsTest, TheTrayOpensOneSettingsWindowAndMakesTheLoginItemControllerThen)
{
    AppHarness h;
    auto& app = h.start();
    EXPECT_EQ(std::count(h.steps.begin(), h.steps.end(), QStringLiteral("launchAtLogin")), 0)
        << "made on first use, not at start-up";
    const auto items = MenuBarMenu::items(app.menuBarMenuState());
    const auto settings = std::find_if(items.begin(), items.end(), [](const MenuBarItem& i) {
        return i.action == MenuBarAction::openSettings;
    });
    ASSERT_NE(settings, items.end());
    EXPECT_TRUE(settings->enabled);

    app.settingsNavigationController()->setSelectedTab(SettingsTab::about);
    app.performMenuBarAction(MenuBarAction::openSettings);
    SettingsView* window = app.settingsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->tabs()->currentIndex(), 2) << "opens on the tab last shown";
    EXPECT_EQ(app.launchAtLoginController()->state(), LaunchAtLoginState::unavailable());
    window->close();
    app.performMenuBarAction(MenuBarAction::openSettings);
    EXPECT_EQ(app.settingsWindow(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(std::count(h.steps.begin(), h.steps.end(), QStringLiteral("launchAtLogin")), 1);
}

// The worker's freed memory goes back to the system once an operation is over and its results
// are taken in, at no other time: not while it runs, not at its start.
TEST(ZentharionAppMemoryTest, FreeMemoryIsGivenBackWhenAnOperationEndsNotWhenItStarts)
{
    AppHarness h;
    ASSERT_TRUE(QDir().mkpath(h.snapshotsDir()));
    const QUuid desk = h.saveLayout("Desk", std::nullopt);
    auto scheduler = std::make_shared<test::ManualScheduler>();
    std::vector<bool> givenBackWhileOperating;
    h.adjust = [&](ZentharionAppDependencies& d) {
        d.controllerOptions.scheduler = scheduler;
        d.returnFreeMemory = [&] { givenBackWhileOperating.push_back(h.app->snapshotMenuController()->isOperating()); };
    };
    auto& app = h.start();
    app.performMenuBarAction(MenuBarAction::restoreLayout, desk);
    QCoreApplication::processEvents();
    ASSERT_TRUE(app.snapshotMenuController()->isOperating());
    EXPECT_TRUE(givenBackWhileOperating.empty());

    scheduler->finishWork();
    EXPECT_FALSE(app.snapshotMenuController()->isOperating());
    QCoreApplication::processEvents();
    EXPECT_EQ(givenBackWhileOperating, std::vector<bool>{false});
}

// The readable hint colour comes with the style's palette, which windows share: a palette of
// their own would make the style cache its pictures of buttons and frames again per window.
TEST(ZentharionAppLookTest, NewWindowsShareTheApplicationPaletteWithReadableHints)
{
    AppHarness h;
    h.start();
    const QPalette shared = QApplication::palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive})
        EXPECT_GE(TextStyle::contrastRatio(shared.color(group, QPalette::PlaceholderText), shared.color(group, QPalette::Base)), 4.5);
    for (int i = 0; i < 2; ++i) {
        QDialog dialog;
        auto* button = new QPushButton(QStringLiteral("OK"), &dialog);
        dialog.show();
        EXPECT_EQ(dialog.palette().cacheKey(), shared.cacheKey());
        EXPECT_EQ(button->palette().cacheKey(), QApplication::palette(button).cacheKey());
    }
}

} // namespace
} // namespace zen
