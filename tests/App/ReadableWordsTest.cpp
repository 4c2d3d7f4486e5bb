#include "App/MenuBarMenu.h"
#include "App/MenuBarTray.h"
#include "Dashboard/DashboardDetailView.h"
#include "Dashboard/DashboardHotkeyMetricCard.h"
#include "Dashboard/DashboardView.h"
#include "Dashboard/DashboardWindowFixture.h"
#include "Dashboard/HotkeyCaptureErrorPopover.h"
#include "Dashboard/InlineHotkeyCaptureField.h"
#include "Hotkeys/HotkeyCapturePrompt.h"
#include "MenuBar/DisplayRestoreSuggestionChooserToastContentView.h"
#include "MenuBar/DisplayRestoreSuggestionToastContentView.h"
#include "MenuBar/OperationCompletionToastContentView.h"
#include "MenuBar/OperationOverlayContentView.h"
#include "MenuBar/OperationOverlayPresenting.h"
#include "MenuBar/SnapshotNamePrompt.h"
#include "MenuBar/StatusNoticeContentView.h"
#include "MenuBar/ToastTextLabel.h"
#include "Onboarding/OnboardingContainerView.h"
#include "Onboarding/OnboardingController.h"
#include "Onboarding/OnboardingStepViews.h"
#include "Permissions/PermissionInterventionRouter.h"
#include "Settings/SettingsView.h"
#include "Shared/DesktopWords.h"
#include "Shared/StringExtensions.h"
#include "Shared/UserDefaults.h"
#include "Snapshots/SnapshotStoreError.h"
#include "Updates/AppUpdateController.h"

#include "Support/ManualScheduler.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QTabBar>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace zen {
namespace {

// Tool tips are rich text; what shows is the rendered text.
QString shownToolTip(const QString& tip)
{
    return Qt::mightBeRichText(tip) ? QTextDocumentFragment::fromHtml(tip).toPlainText() : tip;
}

// What a person can read of an action, as menus show it: the text, then the shortcut column.
void addAction(QStringList& texts, const QAction* action)
{
    QString shown = action->text();
    if (!shown.contains(QLatin1Char('\t')) && !action->shortcut().isEmpty())
        shown += QLatin1Char('\t') + action->shortcut().toString(QKeySequence::NativeText);
    texts << shown << shownToolTip(action->toolTip()) << action->statusTip();
    if (const QMenu* menu = action->menu()) {
        texts << menu->title();
        for (const QAction* inner : menu->actions())
            addAction(texts, inner);
    }
}

// Every text a view offers to be read, shown or not yet shown: titles, labels, buttons, fields,
// tabs, list items, menus, tool tips, accessible names, and the texts of views that paint
// their own.
QStringList readableTexts(QWidget* root)
{
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    QStringList texts;
    for (QWidget* w : widgets) {
        texts << w->windowTitle() << shownToolTip(w->toolTip()) << w->statusTip() << w->whatsThis()
              << w->accessibleName() << w->accessibleDescription();
        if (QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w))
            texts << a->text(QAccessible::Name) << a->text(QAccessible::Description) << a->text(QAccessible::Value);
        if (auto* label = qobject_cast<QLabel*>(w))
            texts << label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            texts << button->text();
        if (auto* field = qobject_cast<QLineEdit*>(w))
            texts << field->text() << field->placeholderText();
        if (auto* box = qobject_cast<QGroupBox*>(w))
            texts << box->title();
        if (auto* edit = qobject_cast<QTextEdit*>(w))
            texts << edit->toPlainText();
        if (auto* tabs = qobject_cast<QTabBar*>(w))
            for (int i = 0; i < tabs->count(); ++i)
                texts << tabs->tabText(i) << tabs->tabToolTip(i);
        if (auto* combo = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < combo->count(); ++i)
                texts << combo->itemText(i);
        if (auto* list = qobject_cast<QAbstractItemView*>(w); list && list->model()) {
            const auto* model = list->model();
            for (int row = 0; row < model->rowCount(); ++row) {
                const QModelIndex index = model->index(row, 0);
                // Delegates paint from the display role and the roles of their own.
                for (int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole), int(Qt::AccessibleTextRole)})
                    texts << index.data(role).toString();
                for (int role = Qt::UserRole; role < Qt::UserRole + 32; ++role)
                    if (index.data(role).typeId() == QMetaType::QString)
                        texts << index.data(role).toString();
            }
        }
        if (auto* painted = qobject_cast<ToastTextLabel*>(w))
            texts << painted->text();
        if (qobject_cast<InlineHotkeyCaptureField*>(w))
            texts << InlineHotkeyCaptureField::placeholderText();
        if (auto* popover = qobject_cast<HotkeyCaptureErrorPopover*>(w))
            texts << popover->message();
        for (const QAction* action : w->actions())
            addAction(texts, action);
    }
    texts.removeAll(QString());
    return texts;
}

// Words and signs of another platform, as they would slip into what a person reads here.
const std::pair<const char*, QRegularExpression> foreignWords[] = {
    {"key glyph", QRegularExpression(QStringLiteral("[⌘⌥⌃⇧]|\\^\\S"))},
    {"Command", QRegularExpression(QStringLiteral("\\bCommand\\b"))},
    {"Option", QRegularExpression(QStringLiteral("\\bOption\\b"))},
    {"Control", QRegularExpression(QStringLiteral("\\bControl\\b"))},
    {"Meta key", QRegularExpression(QStringLiteral("\\bMeta\\+"))},
    {"menu bar", QRegularExpression(QStringLiteral("menu bar"), QRegularExpression::CaseInsensitiveOption)},
    {"Privacy & Security", QRegularExpression(QStringLiteral("Privacy (&|and) Security"))},
    {"System Settings", QRegularExpression(QStringLiteral("System Settings"))},
    {"Finder", QRegularExpression(QStringLiteral("\\bFinder\\b"))},
    {"this Mac", QRegularExpression(QStringLiteral("this Mac\\b"))},
    // Assistive technology on this desktop, not the access to other programs' windows.
    {"Accessibility", QRegularExpression(QStringLiteral("\\bAccessibility\\b"), QRegularExpression::CaseInsensitiveOption)},
};

void press(QWidget* target, int key, Qt::KeyboardModifiers modifiers, std::uint32_t xKeycode)
{
    QKeyEvent event(QEvent::KeyPress, key, modifiers, xKeycode, 0, 0);
    QApplication::sendEvent(target, &event);
}

const HotkeyBinding ctrlAltW{0x0D, 0x1800, QStringLiteral("Option-Control-W")};
const HotkeyBinding superShiftS{0x01, 0x300, QStringLiteral("Command-Shift-S")};

// The program's surroundings on fakes, kept alive for as long as a view built on them.
struct Scene : test::DashboardWindowFixture {
    UserDefaults defaults{root.filePath("prefs.conf")};
    std::shared_ptr<AppUpdateController> updates = std::make_shared<AppUpdateController>();
    std::shared_ptr<test::ManualScheduler> scheduler = std::make_shared<test::ManualScheduler>();
    std::optional<OnboardingStatus> onboardingStatus;
    std::unique_ptr<OnboardingController> onboarding;
    std::unique_ptr<QObject> keeper;

    Scene() { trusted = false; }

    std::unique_ptr<QWidget> dashboard(bool withLayouts)
    {
        if (withLayouts) {
            add(QStringLiteral("Work"), 0, {test::makeWindow("org.example.Editor", 1, 1)}, ctrlAltW);
            add(QStringLiteral("Home"), 60, {test::makeWindow("org.example.Mail", 1, 2)}, superShiftS);
        }
        coordinator->refreshTrust(PermissionCoordinator::RefreshTrigger::launch);
        refresh();
        DashboardView::Dependencies d;
        d.permissionCoordinator = coordinator;
        d.permissionRouter = router;
        d.snapshotMenuController = controller;
        d.updateController = updates;
        d.openSettings = [] {};
        d.frameStore = &defaults;
        d.now = [] { return test::fixedDate(0, 30); };
        auto view = std::make_unique<DashboardView>(std::move(d));
        view->setAttribute(Qt::WA_DeleteOnClose, false);
        DashboardDetailView::installIn(*view);
        view->show();
        QApplication::processEvents();
        return view;
    }

    DashboardDetailView* pane(QWidget* dashboard) const
    {
        return qobject_cast<DashboardDetailView*>(static_cast<DashboardView*>(dashboard)->detailPane());
    }
};

std::unique_ptr<QWidget> column(std::vector<QWidget*> parts)
{
    auto holder = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(holder.get());
    for (QWidget* part : parts) {
        part->setParent(holder.get());
        layout->addWidget(part);
    }
    holder->show();
    return holder;
}

struct View {
    const char* what;
    std::function<std::unique_ptr<QWidget>(Scene&)> build;
    // Shown when the walk really reached what it is about.
    QStringList expected;
};

const View views[] = {
    {"dashboard with shortcuts and access missing",
     [](Scene& s) { return s.dashboard(true); },
     {"Ctrl+Alt+W", "Super+Shift+S", "Open Access Help", "Edit Hotkey"}},
    {"hotkey card capturing after a refusal",
     [](Scene& s) {
         auto view = s.dashboard(true);
         auto* card = s.pane(view.get())->hotkeyCard();
         card->editButton()->click();
         press(card->captureField(), Qt::Key_K, Qt::NoModifier, 45);
         return view;
     },
     {"Press shortcut", "Use a key with Super, Alt, or Ctrl."}},
    {"dashboard explaining access after a refused restore",
     [](Scene& s) {
         auto view = s.dashboard(true);
         s.router->requestAuthorization(PrivilegedActionKind::restoreLayout, PrivilegedActionSource::dashboard);
         QApplication::processEvents();
         return view;
     },
     {"X11 Session", "EWMH Window Manager", "Check Again", "Open Access Help"}},
    {"empty dashboard", [](Scene& s) { return s.dashboard(false); },
     {"Saved layouts appear in the sidebar and tray menu."}},
    {"tray menu",
     [](Scene&) {
         MenuBarMenuState state;
         state.bootstrapErrorMessage = QStringLiteral("Layout storage could not be accessed.");
         const QString refusal = SnapshotStoreError::invalidHotkeyAssignment().localizedDescription();
         state.status = SnapshotMenuController::Status{refusal, SnapshotMenuController::Status::Kind::error};
         SnapshotSummary work = SnapshotSummary::fromSnapshot(test::makeSnapshot("Work"));
         work.hotkey = superShiftS;
         SnapshotSummary home = SnapshotSummary::fromSnapshot(test::makeSnapshot("Home"));
         home.hotkey = HotkeyBinding{0x60, 0x1800, QStringLiteral("Option-Control-F5")};
         SnapshotSummary copy = SnapshotSummary::fromSnapshot(test::makeSnapshot("Copy"));
         copy.hotkey = ctrlAltW;
         state.snapshotSummaries = {work, home, copy};
         state.refusedHotkeyLayoutIDs = {copy.id};
         auto menu = std::make_unique<QMenu>();
         renderMenuBarItems(*menu, MenuBarMenu::items(state), {});
         return std::unique_ptr<QWidget>(std::move(menu));
     },
     {isolatedForDisplay("Work") + "\tSuper+Shift+S", "Hotkey: Ctrl+Alt+F5",
      isolatedForDisplay("Copy") + "\tCtrl+Alt+W (not registered)",
      "Use a key with Super, Alt, or Ctrl."}},
    {"guide pages",
     [](Scene& s) {
         s.onboarding = std::make_unique<OnboardingController>(
             OnboardingStore([&s] { return s.onboardingStatus; }, [&s](OnboardingStatus v) { s.onboardingStatus = v; }),
             s.coordinator.get(), s.scheduler);
         s.onboarding->startPermissionRequiredFlow();
         auto* guide = new OnboardingContainerView(s.onboarding.get(), s.coordinator.get(), [] {});
         return column({guide, new OnboardingWelcomeStep([] {}), new OnboardingAuthorizedReadyStep([] {}, [] {}),
                        new OnboardingReadyStep([] {}, [] {})});
     },
     {"Save your window layout. Restore it anytime from the tray menu or with a keyboard shortcut.",
      "X11 Session, EWMH Window Manager, Check Again"}},
    {"guide pages on a desktop without a tray",
     [](Scene&) {
         const QString menu = DesktopWords::programMenu(false);
         return column({new OnboardingWelcomeStep([] {}, menu), new OnboardingAuthorizedReadyStep([] {}, [] {}, menu)});
     },
     {"Save your window layout. Restore it anytime from the dashboard's menu or with a keyboard shortcut.",
      "Zentharion is ready. Save your window layout and restore it anytime from the dashboard's menu or with a "
      "keyboard shortcut."}},
    {"settings",
     [](Scene& s) {
         struct Service final : LaunchAtLoginServicing {
             LaunchAtLoginServiceStatus status() const override { return LaunchAtLoginServiceStatus::requiresApproval; }
             std::expected<void, PlatformError> registerItem() override { return {}; }
             std::expected<void, PlatformError> unregisterItem() override { return {}; }
             void openLoginItemsSettings() override {}
         };
         auto launchAtLogin = std::make_shared<LaunchAtLoginController>(std::make_unique<Service>());
         auto log = std::make_shared<DiagnosticLogController>(
             s.root.filePath("Logs/events.log"), [](const QString&) { return true; }, [](const QString&) { return true; },
             [](const QString&) { return std::optional<QString>(); },
             [] { return std::optional<DiagnosticLogEmailComposer>(); });
         SettingsViewEnvironment env{&s.defaults, [] { return SettingsBundleInfo{std::nullopt, "Zentharion", "1.0"}; },
                                     [](const QUrl&) { return true; }};
         auto presenter = std::make_shared<SettingsViewPresenter>(
             launchAtLogin, s.coordinator, log, std::make_shared<SettingsNavigationController>(), s.updates, env);
         auto view = std::make_unique<SettingsView>(presenter);
         view->show();
         return std::unique_ptr<QWidget>(std::move(view));
     },
     {"Open Access Help", "Window Access"}},
    {"toasts and notices",
     [](Scene&) {
         auto* done = new OperationCompletionToastContentView(QStringLiteral("Restored \"Work\"."), std::nullopt, {},
                                                              false);
         auto* offer = new DisplayRestoreSuggestionToastContentView(QStringLiteral("Work"), {}, {}, false);
         auto* chooser = new DisplayRestoreSuggestionChooserToastContentView(
             {{QUuid::createUuid(), QStringLiteral("Work")}, {QUuid::createUuid(), QStringLiteral("Home")}}, {}, {},
             false);
         const QString noticeText = PermissionInterventionRouter::passivePermissionNotice().message;
         auto* notice = new StatusNoticeContentView(noticeText, false);
         auto* overlay = new OperationOverlayContentView(
             operationOverlayMessage(OperationOverlayKind::restore), false, false);
         done->buildView();
         offer->buildView();
         chooser->buildView();
         notice->buildView();
         overlay->buildView();
         return column({done, offer, chooser, notice, overlay});
     },
     {"Display changed", "Choose Layout", "Restoring layout..."}},
    {"shortcut prompt after a refusal",
     [](Scene& s) {
         auto holder = std::make_unique<QWidget>();
         auto* prompt = new HotkeyCaptureWindowController(QStringLiteral("Work"), {}, holder.get());
         s.keeper.reset(prompt);
         prompt->window()->show();
         press(prompt->window()->captureView(), Qt::Key_Return, Qt::NoModifier, 36);
         return holder;
     },
     {"Set Layout Hotkey", "Use a key with Super, Alt, or Ctrl."}},
    {"name prompt",
     [](Scene&) {
         return std::unique_ptr<QWidget>(
             std::make_unique<SnapshotNameDialog>(SnapshotNameDialog::Purpose::save, QStringLiteral("Layout")));
     },
     {"Layout"}},
};

// Every view and menu the program builds, walked for the words of another platform.
TEST(ReadableWordsTest, NoViewSpeaksAnotherPlatformsLanguage)
{
    for (const View& view : views) {
        SCOPED_TRACE(view.what);
        Scene scene;
        auto widget = view.build(scene);
        ASSERT_TRUE(widget);
        QApplication::processEvents();
        const QStringList texts = readableTexts(widget.get());
        for (const QString& expected : view.expected)
            EXPECT_TRUE(texts.contains(expected)) << expected.toStdString();
        for (const QString& text : texts)
            for (const auto& [name, pattern] : foreignWords)
                EXPECT_FALSE(pattern.match(text).hasMatch()) << name << " in: " << text.toStdString();
        widget.reset();
        scene.keeper.reset();
    }
}

} // namespace
} // namespace zen
