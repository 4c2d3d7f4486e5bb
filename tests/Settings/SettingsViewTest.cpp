#include "Settings/SettingsView.h"

#include "Settings/SettingsRows.h"
#include "Settings/ZentharionSupport.h"
#include "Shared/UserDefaults.h"
#include "Support/ImageChecks.h"
#include "Support/LiveDesktop.h"
#include "Support/ManualScheduler.h"
#include "Support/TestFiles.h"

#include <QApplication>

#include <QKeyEvent>
#include <QLabel>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zen {
namespace {

struct FixedService final : LaunchAtLoginServicing {
    LaunchAtLoginServiceStatus current = LaunchAtLoginServiceStatus::notRegistered;
    std::optional<QString> failure;
    int opened = 0;
    LaunchAtLoginServiceStatus status() const override { return current; }
    std::expected<void, PlatformError> registerItem() override { return outcome(); }
    std::expected<void, PlatformError> unregisterItem() override { return outcome(); }
    void openLoginItemsSettings() override { ++opened; }
    std::expected<void, PlatformError> outcome()
    {
        if (failure)
            return std::unexpected(PlatformError{*failure, 1});
        return {};
    }
};

// The window over real controllers on fakes: a log in a temporary folder, a trust check the
// test sets, a login-item service the test sets, and recorded desktop actions.
struct Harness {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath("prefs.conf")};
    UserDefaults* otherDefaults = nullptr; // in place of `defaults` when set
    FixedService* service = nullptr;
    bool trusted = true;
    std::optional<QString> exportDestination;
    std::vector<QString> revealed;
    bool revealWorks = true;
    bool mailHandlerWorks = true;
    std::vector<QUrl> openedURLs;
    QString supportAddress = QStringLiteral("help@example.org");
    int accessOpened = 0;
    SettingsBundleInfo bundle{std::nullopt, QStringLiteral("Zentharion"), QStringLiteral("1.0+2")};
    std::shared_ptr<SettingsNavigationController> navigation = std::make_shared<SettingsNavigationController>();
    std::shared_ptr<LaunchAtLoginController> launchAtLogin;
    std::shared_ptr<PermissionCoordinator> permissions;
    std::shared_ptr<DiagnosticLogController> diagnosticLog;
    std::shared_ptr<AppUpdateController> updates = std::make_shared<AppUpdateController>();
    std::unique_ptr<SettingsView> view;

    explicit Harness(bool withLogController = true)
    {
        auto fixed = std::make_unique<FixedService>();
        service = fixed.get();
        launchAtLogin = std::make_shared<LaunchAtLoginController>(std::move(fixed));
        permissions = std::make_shared<PermissionCoordinator>(AccessibilityTrustChecker([this] { return trusted; }),
                                                              [this] { ++accessOpened; });
        if (withLogController) {
            diagnosticLog = std::make_shared<DiagnosticLogController>(
                dir.filePath("Logs/events.log"),
                [this](const QString& f) { revealed.push_back(f); return revealWorks; },
                [this](const QString& f) { revealed.push_back(f); return revealWorks; },
                [this](const QString&) { return exportDestination; },
                [] { return std::optional<DiagnosticLogEmailComposer>(); });
            QDir().mkpath(dir.filePath("Logs"));
        }
    }
    SettingsView& open()
    {
        SettingsViewEnvironment env{otherDefaults ? otherDefaults : &defaults, [this] { return bundle; }, [this](const QUrl& url) {
                                        openedURLs.push_back(url);
                                        return mailHandlerWorks;
                                    }, supportAddress};
        auto presenter = std::make_shared<SettingsViewPresenter>(launchAtLogin, permissions, diagnosticLog, navigation,
                                                                 updates, env);
        view = std::make_unique<SettingsView>(presenter);
        view->show();
        return *view;
    }
    void writeLog() { test::writeFile(dir.filePath("Logs/events.log"), "{\"event\":1}\n"); }
    template <typename T>
    T* find(const QString& name) const { return view->findChild<T*>(name); }
    SettingsActionRow* action(const QString& title) const
    {
        for (auto* row : view->findChildren<SettingsActionRow*>())
            if (row->text() == title)
                return row;
        return nullptr;
    }
    // Visible on its tab, whichever tab is current.
    static bool shown(QWidget* w)
    {
        QWidget* page = w;
        while (page && page->parentWidget() && !qobject_cast<QStackedWidget*>(page->parentWidget()))
            page = page->parentWidget();
        return w && page && w->isVisibleTo(page);
    }
    std::optional<DiagnosticLogStatus> status() const { return view->presenter()->diagnosticLogStatus(); }
    bool statusRowShows(const QString& message) const
    {
        for (auto* row : view->findChildren<SettingsStatusRow*>())
            if (row->message() == message && shown(row))
                return true;
        return false;
    }
};

TEST(SettingsViewTest, HasTheFixedSizeAndKeepsTheTabAcrossReopening)
{
    Harness h;
    SettingsView& view = h.open();
    EXPECT_EQ(view.windowTitle(), "Settings");
    EXPECT_EQ(view.tabs()->size(), QSize(540, 390));
    EXPECT_EQ(view.size(), QSize(572, 406));
    ASSERT_EQ(view.tabs()->count(), 3);
    EXPECT_EQ(view.tabs()->tabText(0), "General");
    EXPECT_EQ(view.tabs()->tabText(1), "Diagnostics");
    EXPECT_EQ(view.tabs()->tabText(2), "About");

    view.tabs()->setCurrentIndex(2);
    EXPECT_EQ(h.navigation->selectedTab(), SettingsTab::about);
    h.view.reset();
    SettingsView& reopened = h.open();
    EXPECT_EQ(reopened.tabs()->currentIndex(), 2);
}

// Escape and Ctrl+W close the window, whichever control has the keyboard, as in a dialog.
TEST(SettingsViewTest, EscapeAndCtrlWCloseTheWindow)
{
    for (const QKeyCombination keys : {QKeyCombination(Qt::Key_Escape), Qt::CTRL | Qt::Key_W}) {
        Harness h;
        SettingsView& view = h.open();
        QApplication::setActiveWindow(&view);
        view.tabs()->tabBar()->setFocus();
        QApplication::processEvents();
        ASSERT_TRUE(view.isVisible());
        QKeyEvent press(QEvent::KeyPress, keys.key(), keys.keyboardModifiers());
        QApplication::sendEvent(view.tabs()->tabBar(), &press);
        EXPECT_FALSE(view.isVisible()) << QKeySequence(keys).toString().toStdString();
    }
}

TEST(SettingsViewTest, DiagnosticsRowsFollowTheLog)
{
    Harness h;
    h.open();
    h.view->tabs()->setCurrentIndex(1);
    EXPECT_TRUE(h.statusRowShows("No diagnostic log has been created yet."));
    EXPECT_FALSE(h.action("Export Diagnostic Log...")->isEnabled());
    EXPECT_FALSE(h.action("Delete Diagnostic Log")->isEnabled());
    SettingsActionRow* reveal = h.action("Reveal Diagnostic Log in File Manager");
    ASSERT_TRUE(reveal && reveal->isEnabled());
    reveal->click();
    EXPECT_EQ(h.revealed, std::vector<QString>{h.dir.filePath("Logs")}) << "no log: its folder";

    h.writeLog();
    EXPECT_FALSE(h.action("Export Diagnostic Log...")->isEnabled()) << "not looked up again by itself";
    h.view->hide();
    h.view->show(); // coming on screen looks again
    EXPECT_FALSE(h.statusRowShows("No diagnostic log has been created yet."));
    EXPECT_TRUE(h.action("Export Diagnostic Log...")->isEnabled());

    h.exportDestination = h.dir.filePath("exported.jsonl");
    h.action("Export Diagnostic Log...")->click();
    EXPECT_EQ(h.status(), (DiagnosticLogStatus{"Diagnostic log exported.", "checkmark.circle", SettingsTint::green}));
    EXPECT_EQ(test::readFile(h.dir.filePath("exported.jsonl")), "{\"event\":1}\n");
    h.exportDestination.reset();
    h.action("Export Diagnostic Log...")->click();
    EXPECT_TRUE(h.statusRowShows("Diagnostic log exported.")) << "a cancelled export keeps the status";

    h.action("Delete Diagnostic Log")->click();
    EXPECT_TRUE(h.statusRowShows("Diagnostic log deleted."));
    EXPECT_TRUE(h.statusRowShows("No diagnostic log has been created yet."));
    EXPECT_FALSE(h.action("Delete Diagnostic Log")->isEnabled());

    h.view->tabs()->setCurrentIndex(0);
    h.view->tabs()->setCurrentIndex(1);
    EXPECT_FALSE(h.status()) << "switching back to Diagnostics clears the status";

    h.view->presenter()->exportDiagnosticLog();
    EXPECT_EQ(h.status()->message, "No diagnostic log is available to export.");
}

TEST(SettingsViewTest, ExportAndDeleteFailuresUseTheUserFacingDescription)
{
    Harness h;
    h.writeLog();
    h.open();
    // The destination folder does not exist: the atomic write fails.
    h.exportDestination = h.dir.filePath("missing/folder/x.jsonl");
    h.view->presenter()->exportDiagnosticLog();
    ASSERT_TRUE(h.status());
    EXPECT_TRUE(h.status()->message.startsWith("Diagnostic log could not be exported: "));
    EXPECT_GT(h.status()->message.size(), QString("Diagnostic log could not be exported: ").size());
    EXPECT_EQ(h.status()->tint, SettingsTint::red);

    // The log's name taken by a folder: unlink fails; the folder stays.
    QFile::remove(h.dir.filePath("Logs/events.log"));
    QDir().mkpath(h.dir.filePath("Logs/events.log/inner"));
    h.view->presenter()->deleteDiagnosticLog();
    ASSERT_TRUE(h.status());
    EXPECT_TRUE(h.status()->message.startsWith("Diagnostic log could not be deleted: "));
    EXPECT_EQ(h.status()->systemImage, "exclamationmark.triangle.fill");
    EXPECT_TRUE(QFileInfo(h.dir.filePath("Logs/events.log/inner")).isDir());
}

TEST(SettingsViewTest, WithoutStorageDiagnosticsOnlyExplains)
{
    Harness h(false);
    h.open();
    EXPECT_TRUE(h.statusRowShows(
        "Diagnostic logs are unavailable because the app's support directory could not be prepared."));
    EXPECT_FALSE(h.shown(h.action("Export Diagnostic Log...")));
    EXPECT_FALSE(h.statusRowShows("No diagnostic log has been created yet."));
    h.view->presenter()->revealDiagnosticLog();
    h.view->presenter()->exportDiagnosticLog();
    h.view->presenter()->deleteDiagnosticLog();
    EXPECT_FALSE(h.status());

    h.view->presenter()->openSupportEmail();
    ASSERT_EQ(h.openedURLs.size(), 1u) << "the plain mail link";
    EXPECT_EQ(QUrlQuery(h.openedURLs[0]).queryItemValue("subject", QUrl::FullyDecoded), "Zentharion Feedback (v1.0+2)");
}

TEST(SettingsViewTest, DiagnosticsSayWhySettingsAreNotSaved)
{
    Harness h;
    h.open();
    EXPECT_FALSE(h.shown(h.find<SettingsStatusRow>("settingsNotSaved")));

    const QString pipe = h.dir.filePath("pipe.conf");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    UserDefaults piped(pipe, h.dir.path());
    h.otherDefaults = &piped;
    h.open();
    h.find<SettingsSwitch>("displaySuggestionsSwitch")->click();
    EXPECT_FALSE(h.find<SettingsSwitch>("displaySuggestionsSwitch")->isChecked()) << "the change holds for the session";
    EXPECT_TRUE(h.statusRowShows("Settings are kept for this session only: " + pipe + " is not a regular file."));
}

// A change made while another program holds the settings folder's lock: once the store tells
// that it is not saved, General (where it was made) says so without being left, and so does
// Diagnostics; once the lock is let go and a retry writes it, the words go from the open tab.
TEST(SettingsViewTest, BothTabsSayWhileAChangeIsNotSavedAndStopOnceItIs)
{
    Harness h;
    const QString folder = h.dir.filePath("config");
    ASSERT_EQ(::mkdir(QFile::encodeName(folder).constData(), 0700), 0);
    test::ManualScheduler retries;
    UserDefaults locked(folder + "/Zentharion.conf", h.dir.path(),
                        {.later = [&retries](std::chrono::milliseconds delay, std::function<void()> call) {
                            retries.runAfter(delay, std::move(call));
                        }});
    h.otherDefaults = &locked;
    const auto retryAndDeliver = [&](int times) {
        for (int i = 0; i < times; ++i)
            retries.advance(UserDefaults::retryDelay);
        QApplication::processEvents(); // the store's word to the window is queued
    };
    // The words a row shows on its tab, whichever tab is current.
    const auto shownWords = [&](const char* row) {
        auto* status = h.find<SettingsStatusRow>(row);
        return h.shown(status) ? status->message().toStdString() : std::string("(hidden)");
    };

    // Another open description of the folder: its lock holds against this process too.
    const int holder = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    h.open();
    h.view->presenter()->setSuggestRestoreOnDisplayChange(false);
    retryAndDeliver(UserDefaults::retriesBeforeTelling);
    const std::string words = locked.notSavedReason().value_or("(none)").toStdString();
    EXPECT_NE(words, "(none)") << "the store tells after its retries";
    EXPECT_EQ(h.view->tabs()->currentIndex(), 0);
    EXPECT_EQ(shownWords("generalSettingsNotSaved"), words) << "told where the change was made";
    if (const auto* general = h.find<SettingsStatusRow>("generalSettingsNotSaved")) {
        EXPECT_EQ(general->systemImage(), "exclamationmark.triangle.fill") << "the Diagnostics row's look";
        EXPECT_EQ(general->tint(), SettingsTint::orange);
    }
    h.view->tabs()->setCurrentIndex(1);
    EXPECT_EQ(shownWords("settingsNotSaved"), words);

    ::close(holder);
    retryAndDeliver(1);
    ASSERT_FALSE(locked.notSavedReason()) << "the retry wrote the change";
    EXPECT_EQ(h.view->tabs()->currentIndex(), 1);
    EXPECT_EQ(shownWords("settingsNotSaved"), "(hidden)") << "gone with the tab left open";
    EXPECT_EQ(shownWords("generalSettingsNotSaved"), "(hidden)");
}

TEST(SettingsViewTest, GeneralRowsFollowLoginItemAndAccess)
{
    struct Case {
        const char* name;
        LaunchAtLoginServiceStatus status;
        std::optional<QString> failure; // then the switch is turned on
        bool switchEnabled;
        std::optional<QString> message;
        QString symbol;
        SettingsTint tint;
        bool approvalRow;
    };
    const Case cases[] = {
        {"enabled", LaunchAtLoginServiceStatus::enabled, {}, true, {}, {}, SettingsTint::secondary, false},
        {"approval", LaunchAtLoginServiceStatus::requiresApproval, {}, false,
         LaunchAtLoginState::requiresApprovalMessage(), "info.circle", SettingsTint::orange, true},
        {"unavailable", LaunchAtLoginServiceStatus::notFound, {}, false, LaunchAtLoginState::unavailableMessage(),
         "exclamationmark.triangle.fill", SettingsTint::red, false},
        {"error", LaunchAtLoginServiceStatus::notRegistered, QStringLiteral("No space left"), true,
         QStringLiteral("No space left"), "exclamationmark.triangle.fill", SettingsTint::red, false},
    };
    for (const Case& c : cases) {
        Harness h;
        h.service->current = c.status;
        h.open();
        if (c.failure) {
            h.service->failure = c.failure;
            h.find<SettingsSwitch>("launchAtLoginSwitch")->click();
        }
        auto* toggle = h.find<SettingsSwitch>("launchAtLoginSwitch");
        EXPECT_EQ(toggle->isEnabled(), c.switchEnabled) << c.name;
        EXPECT_EQ(toggle->isChecked(), c.status == LaunchAtLoginServiceStatus::enabled) << c.name;
        auto* status = h.find<SettingsStatusRow>("launchAtLoginStatus");
        EXPECT_EQ(h.shown(status), c.message.has_value()) << c.name;
        if (c.message) {
            EXPECT_EQ(status->message(), *c.message) << c.name;
            EXPECT_EQ(status->systemImage(), c.symbol) << c.name;
            EXPECT_EQ(status->tint(), c.tint) << c.name;
        }
        EXPECT_EQ(h.shown(h.find<QWidget>("openLoginItems")), c.approvalRow) << c.name;
        if (c.approvalRow) {
            h.find<SettingsActionRow>("openLoginItems")->click();
            EXPECT_EQ(h.service->opened, 1);
        }
    }

    Harness h;
    h.trusted = true;
    h.open();
    EXPECT_FALSE(h.shown(h.find<QWidget>("accessibilitySection")));
    h.trusted = false;
    h.view->hide();
    h.view->show();
    EXPECT_TRUE(h.shown(h.find<QWidget>("accessibilitySection"))) << "the fourth section comes with the refresh";
    h.action("Open Access Help")->click();
    EXPECT_EQ(h.accessOpened, 1);
    h.trusted = true;
    h.permissions->refreshTrust(PermissionCoordinator::RefreshTrigger::appDidBecomeActive);
    EXPECT_FALSE(h.shown(h.find<QWidget>("accessibilitySection")));
}

TEST(SettingsViewTest, SwitchesWriteTheirSettings)
{
    Harness h;
    h.open();
    auto* suggestions = h.find<SettingsSwitch>("displaySuggestionsSwitch");
    EXPECT_TRUE(suggestions->isChecked()) << "on until the user says otherwise";
    suggestions->click();
    EXPECT_EQ(h.defaults.object("suggestRestoreOnDisplayChange"), QVariant(false));

}

// Stands for a build with an update feed: checks can run, the automatic choice is kept.
struct FeedUpdater final : AppUpdater {
    bool automatic = false;
    void setDelegate(AppUpdaterDelegate*) override {}
    void start() override {}
    bool canCheckForUpdates() const override { return true; }
    bool automaticallyChecksForUpdates() const override { return automatic; }
    void setAutomaticallyChecksForUpdates(bool value) override
    {
        automatic = value;
        Q_EMIT automaticallyChecksForUpdatesChanged(value);
    }
    void checkForUpdates() override {}
};

TEST(SettingsViewTest, TheAutomaticCheckSwitchFollowsTheRuleOfCheckForUpdates)
{
    // Without a feed neither can work: the switch is off limits and says why.
    Harness h;
    h.open();
    auto* automatic = h.find<SettingsSwitch>("automaticUpdatesSwitch");
    EXPECT_FALSE(h.action("Check for Updates")->isEnabled()) << "no updater in this build";
    EXPECT_FALSE(automatic->isEnabled());
    automatic->click();
    EXPECT_FALSE(h.updates->automaticallyChecksForUpdates());
    ASSERT_TRUE(h.shown(h.find<QLabel>("updatesUnavailable")));
    EXPECT_EQ(h.find<QLabel>("updatesUnavailable")->text(), "Update checks are not available in this build.");

    Harness withFeed;
    withFeed.updates = std::make_shared<AppUpdateController>(std::make_shared<FeedUpdater>());
    withFeed.open();
    automatic = withFeed.find<SettingsSwitch>("automaticUpdatesSwitch");
    EXPECT_TRUE(automatic->isEnabled());
    EXPECT_FALSE(withFeed.shown(withFeed.find<QLabel>("updatesUnavailable")));
    automatic->click();
    EXPECT_TRUE(withFeed.updates->automaticallyChecksForUpdates());
}

// A build given no support address (the default) writes to nobody: the row is off limits and
// says why, and nothing is opened.
TEST(SettingsViewTest, WithoutASupportAddressContactSupportIsOffAndSaysWhy)
{
    for (const QString& address : {QString(), QStringLiteral("  ")}) {
        Harness h;
        h.supportAddress = address;
        h.writeLog();
        h.open();
        EXPECT_FALSE(h.action("Contact Support")->isEnabled());
        ASSERT_TRUE(h.shown(h.find<QLabel>("supportUnavailable")));
        EXPECT_EQ(h.find<QLabel>("supportUnavailable")->text(), "Contact Support is not available in this build.");
        h.view->presenter()->openSupportEmail();
        EXPECT_TRUE(h.openedURLs.empty());
        EXPECT_FALSE(h.view->presenter()->supportStatus());
    }
    Harness given;
    given.open();
    EXPECT_TRUE(given.action("Contact Support")->isEnabled());
    EXPECT_FALSE(given.shown(given.find<QLabel>("supportUnavailable")));
}

TEST(SettingsViewTest, FailuresToRevealTheLogOrOpenAMailSaySoAndStaleOutcomesGo)
{
    Harness h;
    h.writeLog();
    h.exportDestination = h.dir.filePath("exported.jsonl");
    h.open();
    h.view->tabs()->setCurrentIndex(1);
    h.action("Export Diagnostic Log...")->click();
    ASSERT_TRUE(h.statusRowShows("Diagnostic log exported."));

    // Shown: the earlier outcome no longer describes the last action and goes.
    h.action("Reveal Diagnostic Log in File Manager")->click();
    EXPECT_FALSE(h.status());
    EXPECT_FALSE(h.statusRowShows("Diagnostic log exported."));

    // Nothing could show it: said in the status row.
    h.revealWorks = false;
    h.action("Reveal Diagnostic Log in File Manager")->click();
    ASSERT_TRUE(h.status());
    EXPECT_EQ(h.status()->message, "The diagnostic log could not be shown: no file manager could be opened. It is at "
                                       + h.dir.filePath("Logs/events.log") + ".");
    EXPECT_EQ(h.status()->tint, SettingsTint::red);
    EXPECT_TRUE(h.statusRowShows(h.status()->message));

    // No mail program: the address is given in words; a later success clears it.
    h.view->tabs()->setCurrentIndex(2);
    h.mailHandlerWorks = false;
    h.action("Contact Support")->click();
    const QString noMail = QStringLiteral("No mail program could be opened. Write to %1.").arg(h.supportAddress);
    EXPECT_TRUE(h.statusRowShows(noMail));
    h.mailHandlerWorks = true;
    h.action("Contact Support")->click();
    EXPECT_FALSE(h.statusRowShows(noMail));
}

TEST(SettingsViewTest, RowsReadAsLabelsAndActionsAsButtons)
{
    Harness h;
    h.trusted = false;
    h.open();
    for (auto* row : h.view->findChildren<SettingsValueRow*>())
        EXPECT_FALSE(row->title().endsWith(u':')) << row->title().toStdString();

    // A focused action row takes Enter as a press, and shows where the focus is.
    SettingsActionRow* access = h.action("Open Access Help");
    access->setFocus();
    EXPECT_TRUE(access->testAttribute(Qt::WA_Hover));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(access, &enter);
    EXPECT_TRUE(testsupport::waitFor([&] { return h.accessOpened == 1; }, 2000));
}

TEST(SettingsViewTest, AboutShowsNameAndVersionAsTheBuildGivesThem)
{
    struct Case {
        SettingsBundleInfo bundle;
        QString name;
        std::optional<QString> versionLine;
        QString subject;
    };
    const Case cases[] = {
        {{QStringLiteral("Zen Display"), QStringLiteral("Zen"), QStringLiteral("2.1")}, "Zen Display", "Version 2.1",
         "Zentharion Feedback (v2.1)"},
        {{std::nullopt, QStringLiteral("Zen"), QString("")}, "Zen", "Version ", "Zentharion Feedback (v)"},
        {{std::nullopt, std::nullopt, std::nullopt}, "Zentharion", std::nullopt, "Zentharion Feedback"},
    };
    for (const Case& c : cases) {
        Harness h;
        h.bundle = c.bundle;
        h.writeLog();
        h.open();
        EXPECT_EQ(h.find<QLabel>("appName")->text(), c.name);
        auto* version = h.find<QLabel>("version");
        EXPECT_EQ(h.shown(version), c.versionLine.has_value());
        if (c.versionLine) {
            EXPECT_EQ(version->text(), *c.versionLine);
        }
        h.action("Contact Support")->click();
        ASSERT_EQ(h.openedURLs.size(), 1u) << "no composer: the mail link";
        EXPECT_EQ(QUrlQuery(h.openedURLs[0]).queryItemValue("subject", QUrl::FullyDecoded), c.subject);
    }
}

TEST(SettingsViewTest, EverySecondaryAndTintedTextReadsAtLeastFourAndAHalfToOne)
{
    Harness h;
    h.trusted = false;
    SettingsView& view = h.open();
    const auto contrastOf = [&](QLabel* label) {
        const QImage image = view.grab().toImage();
        const QRect area(label->mapTo(&view, QPoint(0, 0)) * view.devicePixelRatio(),
                         label->size() * view.devicePixelRatio());
        return testsupport::drawnTextContrast(image, area);
    };
    const auto labelWithText = [&](const QString& start) -> QLabel* {
        for (QLabel* label : view.findChildren<QLabel*>())
            if (label->isVisible() && label->text().startsWith(start))
                return label;
        return nullptr;
    };
    const std::vector<std::pair<int, QString>> texts = {
        {0, "Missing"}, {1, "Zentharion stores diagnostic logs"}, {1, "No diagnostic log"},
        {2, "Version "}, {2, "A local diagnostic log"}};
    for (const auto& [tab, start] : texts) {
        view.tabs()->setCurrentIndex(tab);
        QApplication::processEvents();
        QLabel* label = labelWithText(start);
        ASSERT_NE(label, nullptr) << start.toStdString();
        EXPECT_GE(contrastOf(label), 4.5) << start.toStdString();
    }
}

TEST(ZentharionSupportTest, TheMailLinkCarriesSubjectAndBodyExactly)
{
    const auto url = ZentharionSupport::mailtoURL("Zentharion Feedback (v1.0+2) & more=yes", "\n\n", "help@example.org");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme(), "mailto");
    EXPECT_EQ(url->path(), "help@example.org");
    const QByteArray encoded = url->toEncoded();
    EXPECT_TRUE(encoded.contains("%2B")) << encoded.constData();
    EXPECT_FALSE(encoded.contains("+")) << "a bare + reads as a space";
    const QUrlQuery query(*url);
    ASSERT_EQ(query.queryItems().size(), 2);
    EXPECT_EQ(query.queryItems()[0].first, "subject");
    EXPECT_EQ(query.queryItems()[1].first, "body");
    EXPECT_EQ(QUrl::fromPercentEncoding(query.queryItemValue("subject", QUrl::FullyEncoded).toUtf8()),
              "Zentharion Feedback (v1.0+2) & more=yes");
    EXPECT_EQ(QUrl::fromPercentEncoding(query.queryItemValue("body", QUrl::FullyEncoded).toUtf8()), "\n\n");
    EXPECT_FALSE(ZentharionSupport::mailtoURL("s", "b", "  "));
}

TEST(ZentharionSupportTest, WithALogAndAComposerTheMailIsComposedOnce)
{
    Harness h;
    std::vector<QStringList> composed;
    h.diagnosticLog = std::make_shared<DiagnosticLogController>(
        h.dir.filePath("Logs/events.log"), [](const QString&) { return true; }, [](const QString&) { return true; },
        [](const QString&) { return std::optional<QString>(); },
        [&] {
            return std::optional(DiagnosticLogEmailComposer{
                [](const QString&, const QString&) { return true; },
                [&](const QString& to, const QString& subject, const QString& body, const QString& attachment) {
                    composed.push_back({to, subject, body, attachment});
                    return true;
                }});
        });
    h.writeLog();
    h.open();
    h.view->presenter()->openSupportEmail();
    ASSERT_EQ(composed.size(), 1u);
    EXPECT_EQ(composed[0], (QStringList{h.supportAddress, "Zentharion Feedback (v1.0+2)", "\n\n",
                                        h.dir.filePath("Logs/events.log")}));
    EXPECT_TRUE(h.openedURLs.empty());
}

} // namespace
} // namespace zen
