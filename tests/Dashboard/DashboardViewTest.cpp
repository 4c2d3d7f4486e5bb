#include "Dashboard/DashboardView.h"

#include "Dashboard/DashboardDetailView.h"

#include "Dashboard/DashboardSnapshotRow.h"
#include "Dashboard/DashboardViewPresenter.h"
#include "Dashboard/DashboardWindowFixture.h"
#include "Dashboard/SidebarActionButton.h"
#include "Shared/UserDefaults.h"
#include "Support/ManualScheduler.h"
#include "Updates/AppUpdateController.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>

#include <gtest/gtest.h>

namespace zen {
namespace {

using test::makeWindow;
using LayoutCommand = DashboardCommands::LayoutCommand;

struct Window : test::DashboardWindowFixture {
    UserDefaults defaults{root.filePath("prefs.conf")};
    std::shared_ptr<AppUpdateController> updates = std::make_shared<AppUpdateController>();
    QDateTime clock = test::fixedDate(0, 30);
    std::shared_ptr<test::ManualScheduler> scheduler = std::make_shared<test::ManualScheduler>();
    int settingsOpened = 0;
    std::unique_ptr<DashboardView> view;

    DashboardView& open(bool withSettings = true)
    {
        refresh();
        DashboardView::Dependencies d;
        d.permissionCoordinator = coordinator;
        d.permissionRouter = router;
        d.snapshotMenuController = controller;
        d.updateController = updates;
        if (withSettings)
            d.openSettings = [this] { ++settingsOpened; };
        d.frameStore = &defaults;
        d.now = [this] { return clock; };
        d.scheduler = scheduler;
        view = std::make_unique<DashboardView>(std::move(d));
        view->setAttribute(Qt::WA_DeleteOnClose, false);
        view->show();
        QApplication::processEvents();
        return *view;
    }
    void activate()
    {
        view->activateWindow();
        QApplication::setActiveWindow(view.get());
        QApplication::processEvents();
    }
};

TEST(DashboardViewTest, TheWindowHasItsTitleSizesAndTheRowsOfTheLayouts)
{
    Window f;
    f.add("Work <b>&</b> Play", 0, {makeWindow("org.example.Editor", 1, 1), makeWindow("org.example.Mail", 1, 2)},
          test::commandK);
    f.add("Home", 86400 * 3);
    auto& view = f.open();

    EXPECT_EQ(view.windowTitle(), "Zentharion");
    EXPECT_EQ(view.minimumSize(), QSize(940, 640));
    EXPECT_EQ(view.size(), QSize(940, 640));
    EXPECT_EQ(view.sidebar()->minimumWidth(), 240);
    EXPECT_EQ(view.sidebar()->maximumWidth(), 360);
    EXPECT_EQ(view.splitter()->sizes().front(), 280);

    ASSERT_EQ(view.layoutList()->count(), 2);
    const auto* first = view.row(0);
    EXPECT_EQ(first->nameLabel()->text(), "Work <b>&</b> Play");
    EXPECT_EQ(first->nameLabel()->textFormat(), Qt::PlainText);
    EXPECT_TRUE(first->hotkeyLabel()->isVisibleTo(view.row(0)));
    EXPECT_EQ(first->hotkeyLabel()->text(), "Super+K");
    EXPECT_EQ(first->summaryLabel()->text(), "2 windows • 1 displays • just now");
    EXPECT_FALSE(view.row(1)->hotkeyLabel()->isVisibleTo(view.row(1)));
    EXPECT_EQ(view.row(1)->summaryLabel()->text(), "1 windows • 1 displays • 3 days ago");

    // The first layout is selected on opening.
    EXPECT_EQ(view.layoutList()->currentRow(), 0);
    EXPECT_EQ(view.presenter().selectedSummary()->name, "Work <b>&</b> Play");
}

TEST(DashboardViewTest, AnEmptyListSaysSoAndTheListFollowsClicksAndChanges)
{
    Window f;
    auto& view = f.open();
    EXPECT_TRUE(view.emptyListLabel()->isVisible());
    EXPECT_EQ(view.emptyListLabel()->text(), "No layouts saved yet");
    EXPECT_FALSE(view.layoutList()->isVisible());

    f.add("A", 0);
    const auto b = f.add("B", 10);
    f.refresh();
    EXPECT_TRUE(view.layoutList()->isVisible());
    ASSERT_EQ(view.layoutList()->count(), 2);
    EXPECT_EQ(view.layoutList()->currentRow(), 0);

    view.layoutList()->setCurrentRow(1);
    EXPECT_EQ(view.presenter().selectedSnapshotID(), b.id);

    view.newLayoutButton()->click();
    ASSERT_EQ(view.layoutList()->count(), 3);
    EXPECT_EQ(view.row(0)->nameLabel()->text(), "Fresh");
    EXPECT_EQ(view.layoutList()->currentRow(), 0);
}

TEST(DashboardViewTest, TheConfirmationsShowTheirTextsAsPlainTextAndAnswerThePresenter)
{
    Window f;
    const auto work = f.add("<i>Work</i>", 0);
    const auto home = f.add("Home", 10);
    auto& view = f.open();
    f.activate();

    view.commands().layoutAction(LayoutCommand::updateLayout)->trigger();
    QMessageBox* update = view.updateConfirmation();
    ASSERT_TRUE(update);
    EXPECT_EQ(update->text(), "Update Layout?");
    EXPECT_EQ(update->informativeText(), "Replace the saved windows in \"<i>Work</i>\" with the current window state? "
                                         "The layout name and hotkey will be kept.");
    for (QLabel* label : update->findChildren<QLabel*>())
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
    QStringList buttons;
    for (QAbstractButton* button : update->buttons())
        buttons << QStringLiteral("%1:%2").arg(button->text()).arg(int(update->buttonRole(button)));
    EXPECT_TRUE(buttons.contains(QStringLiteral("Cancel:%1").arg(int(QMessageBox::RejectRole))));
    EXPECT_TRUE(buttons.contains(QStringLiteral("Update:%1").arg(int(QMessageBox::DestructiveRole))));
    for (QAbstractButton* button : update->buttons())
        if (button->text() == "Update")
            button->click();
    QApplication::processEvents();
    EXPECT_EQ(f.updated, std::vector<QUuid>{work.id});
    EXPECT_FALSE(view.presenter().pendingUpdate());

    f.activate();
    view.commands().layoutAction(LayoutCommand::deleteLayout)->trigger();
    QMessageBox* remove = view.deleteConfirmation();
    ASSERT_TRUE(remove);
    EXPECT_EQ(remove->text(), "Delete Layout?");
    EXPECT_EQ(remove->informativeText(), "Delete \"<i>Work</i>\"? This cannot be undone.");
    EXPECT_TRUE(remove->windowModality() == Qt::WindowModal);
    // Wide enough for the question in the title bar and the explanation in a few lines, not a
    // narrow column sized to the short question.
    QApplication::processEvents();
    EXPECT_GE(remove->width(), 360);
    auto* question = remove->findChild<QLabel*>("qt_msgbox_label");
    ASSERT_TRUE(question);
    EXPECT_TRUE(question->font().bold());
    for (QAbstractButton* button : remove->buttons())
        if (button->text() == "Delete")
            button->click();
    QApplication::processEvents();
    EXPECT_FALSE(f.store.loadSnapshot(work.id).has_value());
    EXPECT_EQ(view.layoutList()->count(), 1);

    // A confirmation whose layout disappears meanwhile closes without acting.
    f.activate();
    view.commands().layoutAction(LayoutCommand::deleteLayout)->trigger();
    QPointer<QMessageBox> alert = view.deleteConfirmation();
    ASSERT_TRUE(alert);
    f.controller->deleteSnapshot(home.id);
    QApplication::processEvents();
    EXPECT_TRUE(!alert || !alert->isVisible());
    EXPECT_FALSE(view.deleteConfirmation());
    EXPECT_EQ(view.layoutList()->count(), 0);
}

TEST(DashboardViewTest, TheLayoutMenuFollowsTheFocusedDashboardAndIsDisabledWithoutOne)
{
    Window f;
    f.add("Work", 0, {makeWindow("org.example.Editor", 1, 1)}, test::commandK);
    auto& view = f.open();
    auto& commands = view.commands();
    QWidget other;
    other.show();
    other.activateWindow();
    QApplication::setActiveWindow(&other);
    QApplication::processEvents();
    commands.refresh();

    const LayoutCommand all[] = {LayoutCommand::newLayout,    LayoutCommand::restoreLayout, LayoutCommand::updateLayout,
                                 LayoutCommand::renameLayout, LayoutCommand::assignHotkey,  LayoutCommand::clearHotkey,
                                 LayoutCommand::deleteLayout};
    for (LayoutCommand command : all)
        EXPECT_FALSE(commands.layoutAction(command)->isEnabled()) << int(command);
    EXPECT_EQ(commands.layoutAction(LayoutCommand::assignHotkey)->text(), "Set Hotkey");
    commands.layoutAction(LayoutCommand::newLayout)->trigger(); // disabled actions do nothing
    EXPECT_EQ(f.controller->snapshotSummaries().size(), 1u);

    f.activate();
    for (LayoutCommand command : all)
        EXPECT_TRUE(commands.layoutAction(command)->isEnabled()) << int(command);
    EXPECT_EQ(commands.layoutAction(LayoutCommand::assignHotkey)->text(), "Change Hotkey");

    // Clearing the hotkey is reflected at once.
    commands.layoutAction(LayoutCommand::clearHotkey)->trigger();
    EXPECT_FALSE(commands.layoutAction(LayoutCommand::clearHotkey)->isEnabled());
    EXPECT_EQ(commands.layoutAction(LayoutCommand::assignHotkey)->text(), "Set Hotkey");

    QStringList titles;
    for (QAction* action : commands.layoutMenu()->actions())
        titles << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(titles, QStringList({"New Layout", "-", "Restore Layout", "Update Layout", "Rename Layout", "Set Hotkey",
                                   "Clear Hotkey", "-", "Delete Layout"}));
    QStringList application;
    for (QAction* action : commands.applicationMenu()->actions())
        application << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(application, QStringList({"Open Dashboard", "Check for Updates", "Settings…", "-", "Quit"}));
    EXPECT_EQ(commands.openDashboardAction()->shortcut(), QKeySequence(QKeySequence::New));
    // This build's update checker cannot check.
    EXPECT_FALSE(commands.checkForUpdatesAction()->isEnabled());
    EXPECT_TRUE(commands.settingsAction()->isEnabled());
}

TEST(DashboardViewTest, SidebarButtonsFollowTheUpdateStateAndTheSettingsHook)
{
    struct Case {
        bool available, canCheck;
        DashboardView::SidebarFoot foot;
    };
    for (const auto& c : {Case{false, true, {false, false, 8}}, Case{true, false, {true, false, 0}},
                          Case{true, true, {true, true, 0}}})
        EXPECT_EQ(DashboardView::sidebarFoot(c.available, c.canCheck), c.foot) << c.available << c.canCheck;

    Window f;
    auto& view = f.open();
    EXPECT_FALSE(view.updateAvailableButton()->isVisible());
    EXPECT_EQ(view.settingsButton()->topPadding(), 8);
    view.settingsButton()->click();
    EXPECT_EQ(f.settingsOpened, 1);
    EXPECT_EQ(view.newLayoutButton()->text(), "New Layout");
    EXPECT_EQ(view.newLayoutButton()->toolTip(), "New Layout");

    Window unwired;
    EXPECT_FALSE(unwired.open(false).settingsButton()->isEnabled());
    EXPECT_FALSE(unwired.view->commands().settingsAction()->isEnabled());
}

TEST(DashboardViewTest, StorageFailureLocksEveryAction)
{
    Window f;
    f.add("Work", 0);
    f.refresh();
    DashboardView::Dependencies d;
    d.bootstrapErrorMessage = QStringLiteral("The folder cannot be created.");
    d.permissionCoordinator = f.coordinator;
    d.permissionRouter = f.router;
    d.snapshotMenuController = f.controller;
    d.updateController = f.updates;
    d.frameStore = &f.defaults;
    DashboardView view(std::move(d));
    view.setAttribute(Qt::WA_DeleteOnClose, false);
    view.show();
    QApplication::processEvents();

    EXPECT_FALSE(view.newLayoutButton()->isEnabled());
    QMenu menu;
    view.row(0)->fillActionsMenu(menu);
    for (QAction* action : menu.actions())
        EXPECT_TRUE(action->isSeparator() || !action->isEnabled()) << action->text().toStdString();
    view.row(0)->beginInlineRename();
    EXPECT_FALSE(view.row(0)->isRenaming());
}

TEST(DashboardViewTest, RelativeDatesTurnTogetherWithTheMinuteWhileTheWindowIsShown)
{
    Window f;
    f.add("Work", 0);
    f.clock = test::fixedDate(0, 4 * 60 + 18); // saved 4 min 18 s ago
    auto& view = f.open();
    auto* detail = qobject_cast<DashboardDetailView*>(view.detailPane());
    ASSERT_NE(detail, nullptr);
    const auto shown = [&] {
        return std::make_pair(view.row(0)->summaryLabel()->text(), detail->updatedLabel()->text());
    };
    EXPECT_EQ(shown(), std::make_pair(QStringLiteral("1 windows • 1 displays • 4 minutes ago"),
                                      QStringLiteral("Updated 4 minutes ago")));

    // Nothing changes before the fifth minute is full, and both change as it is.
    f.clock = f.clock.addSecs(42);
    f.scheduler->advance(std::chrono::seconds(42));
    EXPECT_EQ(shown().second, "Updated 4 minutes ago");
    f.clock = f.clock.addMSecs(1);
    f.scheduler->advance(std::chrono::milliseconds(1));
    EXPECT_EQ(shown(), std::make_pair(QStringLiteral("1 windows • 1 displays • 5 minutes ago"),
                                      QStringLiteral("Updated 5 minutes ago")));
    // And again a minute later.
    f.clock = f.clock.addSecs(60);
    f.scheduler->advance(std::chrono::seconds(60));
    EXPECT_EQ(shown().second, "Updated 6 minutes ago");

    // Hidden, the window waits for nothing; shown again, it catches up at once.
    view.hide();
    EXPECT_TRUE(std::all_of(f.scheduler->timers.begin(), f.scheduler->timers.end(),
                            [](const auto& timer) { return *timer.cancelled; }));
    f.clock = f.clock.addSecs(3600);
    view.show();
    EXPECT_EQ(shown().second, "Updated 1 hour ago");
}

} // namespace
} // namespace zen
