#include "Dashboard/DashboardView.h"

#include "Dashboard/DashboardDetailView.h"
#include "Dashboard/DashboardDisplayPreviewCard.h"
#include "Dashboard/DashboardInactiveAppsView.h"
#include "Dashboard/DashboardHotkeyMetricCard.h"
#include "Dashboard/InlineHotkeyCaptureField.h"
#include "Dashboard/DashboardMetricCard.h"
#include "Dashboard/DashboardSnapshotPreviewView.h"
#include "Dashboard/DashboardSnapshotListModel.h"
#include "Dashboard/DashboardSnapshotListView.h"
#include "Dashboard/DashboardViewPresenter.h"
#include "Dashboard/DashboardWindowFixture.h"
#include "Dashboard/MiddleElidedLabel.h"
#include "Dashboard/SidebarActionButton.h"
#include "Shared/UserDefaults.h"
#include "Support/ManualScheduler.h"
#include "Updates/AppUpdateController.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>

#include "Support/AnimationSwitch.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScrollBar>
#include <QSet>
#include <QStyle>
#include <QToolButton>

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
    std::function<bool()> trayAvailable;
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
        d.systemTrayAvailable = trayAvailable;
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
    const auto text = [&](int row, int role) { return view.layoutModel()->index(row).data(role).toString(); };
    EXPECT_EQ(text(0, Qt::DisplayRole), "Work <b>&</b> Play");
    EXPECT_EQ(text(0, Qt::AccessibleTextRole), "Work <b>&</b> Play");
    EXPECT_EQ(text(0, DashboardSnapshotListModel::HotkeyRole), "Super+K");
    EXPECT_EQ(text(0, DashboardSnapshotListModel::SummaryRole), "2 windows • 1 displays • just now");
    EXPECT_EQ(text(1, DashboardSnapshotListModel::HotkeyRole), "");
    EXPECT_EQ(text(1, DashboardSnapshotListModel::SummaryRole), "1 windows • 1 displays • 3 days ago");

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
    EXPECT_EQ(view.layoutModel()->index(0).data().toString(), "Fresh");
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
    EXPECT_EQ(commands.layoutAction(LayoutCommand::assignHotkey)->text(), "Set &Hotkey");
    commands.layoutAction(LayoutCommand::newLayout)->trigger(); // disabled actions do nothing
    EXPECT_EQ(f.controller->snapshotSummaries().size(), 1u);

    f.activate();
    for (LayoutCommand command : all)
        EXPECT_TRUE(commands.layoutAction(command)->isEnabled()) << int(command);
    EXPECT_EQ(commands.layoutAction(LayoutCommand::assignHotkey)->text(), "Change &Hotkey");

    // Clearing the hotkey is reflected at once.
    commands.layoutAction(LayoutCommand::clearHotkey)->trigger();
    EXPECT_FALSE(commands.layoutAction(LayoutCommand::clearHotkey)->isEnabled());
    EXPECT_EQ(commands.layoutAction(LayoutCommand::assignHotkey)->text(), "Set &Hotkey");

    QStringList titles;
    for (QAction* action : commands.layoutMenu()->actions())
        titles << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(titles, QStringList({"&New Layout", "-", "&Restore Layout", "&Update Layout", "Rena&me Layout",
                                   "Set &Hotkey", "&Clear Hotkey", "-", "&Delete Layout"}));
    QStringList application;
    for (QAction* action : commands.applicationMenu()->actions())
        application << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(application, QStringList({"&Open Dashboard", "Check for &Updates", "&Settings…", "-", "&Quit"}));
    // In the dashboard's own menu, New makes a layout; the open dashboard needs no key to open.
    EXPECT_EQ(commands.layoutAction(LayoutCommand::newLayout)->shortcut(), QKeySequence(QKeySequence::New));
    EXPECT_TRUE(commands.openDashboardAction()->shortcut().isEmpty());
    // This build's update checker cannot check.
    EXPECT_FALSE(commands.checkForUpdatesAction()->isEnabled());
    EXPECT_TRUE(commands.settingsAction()->isEnabled());
}

// Without a mouse: F10 opens the first menu, Alt and a menu's letter opens that menu, each item
// has a letter of its own, and Ctrl+N makes a new layout.
TEST(DashboardViewTest, TheKeyboardReachesTheMenuBar)
{
    Window f;
    f.add("Work");
    auto& view = f.open();
    f.activate();
    auto& commands = view.commands();
    for (QMenu* menu : {commands.applicationMenu(), commands.layoutMenu()}) {
        QStringList keys;
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                keys << QKeySequence::mnemonic(action->text()).toString();
        EXPECT_FALSE(keys.contains(QString())) << keys.join(' ').toStdString();
        EXPECT_EQ(QSet<QString>(keys.begin(), keys.end()).size(), keys.size()) << keys.join(' ').toStdString();
    }

    const auto press = [&](QKeyCombination keys) {
        QKeyEvent event(QEvent::KeyPress, keys.key(), keys.keyboardModifiers());
        QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : &view, &event);
        QApplication::processEvents();
    };
    for (const auto& [keys, menu] : {std::pair{QKeyCombination(Qt::Key_F10), commands.applicationMenu()},
                                     std::pair{Qt::ALT | Qt::Key_Z, commands.applicationMenu()},
                                     std::pair{Qt::ALT | Qt::Key_L, commands.layoutMenu()}}) {
        SCOPED_TRACE(QKeySequence(keys).toString().toStdString());
        press(keys);
        EXPECT_TRUE(menu->isVisible());
        menu->hide();
        QApplication::processEvents();
    }

    press(Qt::CTRL | Qt::Key_N);
    EXPECT_EQ(f.controller->snapshotSummaries().size(), 2u) << "Ctrl+N made no layout";
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

// The invitation to save a first layout says where saved layouts show: the tray's menu only on
// a desktop that has a tray (the window's own menu lists none).
TEST(DashboardViewTest, TheEmptyDashboardNamesTheTrayMenuOnlyWhereThereIsATray)
{
    for (const bool tray : {true, false}) {
        Window f;
        f.trayAvailable = [&tray] { return tray; };
        f.open();
        auto* detail = qobject_cast<DashboardDetailView*>(f.view->detailPane());
        ASSERT_NE(detail, nullptr);
        ASSERT_EQ(detail->currentFace(), detail->emptyFace());
        QStringList texts;
        for (auto* label : detail->emptyFace()->findChildren<QLabel*>())
            texts << label->text();
        EXPECT_TRUE(texts.contains(tray ? "Saved layouts appear in the sidebar and tray menu."
                                        : "Saved layouts appear in the sidebar."))
            << texts.join(" | ").toStdString();
        EXPECT_EQ(texts.join(" ").contains("tray"), tray);
    }
}

// Every place the Tab key stops in the window shows that it has the keyboard: a stop that
// draws the same with the focus as without leaves a person typing blind.
TEST(DashboardViewTest, EveryStopOfTheTabKeyShowsThatItHasTheKeyboard)
{
    Window f;
    f.add("Work", 0, {makeWindow("org.example.Editor", 1, 1), makeWindow("org.example.Mail", 1, 2)});
    f.add("Home", 60);
    f.open();
    f.activate();
    std::vector<QWidget*> stops;
    for (QWidget* focus = QApplication::focusWidget(); focus && std::ranges::find(stops, focus) == stops.end() && stops.size() < 60;
         focus = QApplication::focusWidget()) {
        stops.push_back(focus);
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(focus, &tab);
    }
    ASSERT_GE(stops.size(), 3u);
    for (QWidget* stop : stops) {
        QWidget* elsewhere = stop == stops.front() ? stops.back() : stops.front();
        elsewhere->setFocus(Qt::TabFocusReason);
        const QImage without = stop->grab().toImage();
        stop->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(stop->hasFocus());
        EXPECT_NE(stop->grab().toImage(), without)
            << stop->metaObject()->className() << " " << stop->accessibleName().toStdString() << " "
            << stop->toolTip().toStdString();
    }
}

// The detail pane waits for the window's selection before it makes a face: whatever is saved,
// the frame drawn right after showing, with no event handled in between, has the right one.
TEST(DashboardViewTest, TheFirstFrameShowsTheFaceOfWhatIsSaved)
{
    for (const bool withLayout : {false, true}) {
        Window f;
        if (withLayout)
            f.add("Work", 0);
        f.refresh();
        DashboardView::Dependencies d;
        d.permissionCoordinator = f.coordinator;
        d.permissionRouter = f.router;
        d.snapshotMenuController = f.controller;
        d.frameStore = &f.defaults;
        DashboardView view(std::move(d));
        view.setAttribute(Qt::WA_DeleteOnClose, false);
        view.show();
        (void)view.grab();
        auto* detail = qobject_cast<DashboardDetailView*>(view.detailPane());
        ASSERT_NE(detail, nullptr);
        auto* faces = detail->findChild<QStackedWidget*>(QString(), Qt::FindDirectChildrenOnly);
        ASSERT_NE(faces, nullptr);
        QWidget* drawn = faces->currentWidget();
        EXPECT_EQ(drawn, withLayout ? detail->layoutFace() : detail->emptyFace()) << withLayout;
    }
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
    view.fillActionsMenu(menu, 0);
    EXPECT_FALSE(menu.actions().isEmpty());
    for (QAction* action : menu.actions())
        EXPECT_TRUE(action->isSeparator() || !action->isEnabled()) << action->text().toStdString();
    view.beginInlineRename(0);
}

TEST(DashboardViewTest, TheMenuOffersTheHotkeyItemsTheLayoutNeedsAndTheKeysActOnTheCurrentRow)
{
    Window f;
    f.add("With Hotkey", 0, {makeWindow("org.example.Editor", 1, 1)}, test::commandK);
    const Snapshot plain = f.add("Plain", 10);
    auto& view = f.open();
    const auto items = [&](int row) {
        QMenu menu;
        view.fillActionsMenu(menu, row);
        QStringList texts;
        for (QAction* action : menu.actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return texts;
    };
    EXPECT_EQ(items(0), QStringList({"Rename", "Change Hotkey", "Clear Hotkey", "-", "Delete"}));
    EXPECT_EQ(items(1), QStringList({"Rename", "Set Hotkey", "-", "Delete"}));

    DashboardSnapshotListView* list = view.layoutList();
    f.activate();
    list->setFocus(Qt::TabFocusReason);
    list->setCurrentRow(1);
    const auto press = [&](int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(list, &event);
        QApplication::processEvents();
    };
    press(Qt::Key_F2);
    ASSERT_NE(list->renameEditor(), nullptr);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(list->renameEditor(), &escape);
    QApplication::processEvents();
    EXPECT_EQ(list->renameEditor(), nullptr);

    press(Qt::Key_Delete);
    ASSERT_NE(view.deleteConfirmation(), nullptr);
    EXPECT_EQ(view.presenter().pendingDeletion()->id, plain.id);
    view.deleteConfirmation()->reject();
    QApplication::processEvents();

    press(Qt::Key_Return);
    EXPECT_EQ(f.restored, std::vector<QUuid>({plain.id}));
}

// However a shortcut capture ends with the keyboard in it (a shortcut taken, Escape, Escape after
// a refusal), the keyboard goes back to the control the person started it from rather than to
// the next control along ("New Layout", the first restore-order row) or nowhere.
TEST(DashboardViewTest, AShortcutCaptureHandsTheKeyboardBackToWhereItStarted)
{
    enum class Start { editButtonByKeyboard, editButtonByMouse, rowMenu };
    // Left for another control (a click on the layout list), the keyboard stays there.
    enum class End { captured, escape, refusedThenEscape, leftForTheList };
    for (const Start start : {Start::editButtonByKeyboard, Start::editButtonByMouse, Start::rowMenu})
        for (const End end : {End::captured, End::escape, End::refusedThenEscape, End::leftForTheList}) {
            SCOPED_TRACE(testing::Message() << "start " << int(start) << ", end " << int(end));
            Window f;
            f.add("Work", 0, {makeWindow("org.example.Editor", 1, 1), makeWindow("org.example.Mail", 1, 2)});
            f.add("Home", 10, {}, test::commandK);
            auto& view = f.open();
            f.activate();
            auto* card = qobject_cast<DashboardDetailView*>(view.detailPane())->hotkeyCard();
            DashboardSnapshotListView* list = view.layoutList();
            list->setFocus(Qt::TabFocusReason);
            QWidget* starter = list;
            if (start == Start::rowMenu) {
                QMenu menu;
                view.fillActionsMenu(menu, 0);
                for (QAction* action : menu.actions())
                    if (action->text() == "Set Hotkey")
                        action->trigger();
            } else {
                starter = card->editButton();
                if (start == Start::editButtonByKeyboard)
                    starter->setFocus(Qt::TabFocusReason);
                card->editButton()->click();
            }
            QApplication::processEvents();
            InlineHotkeyCaptureField* field = card->captureField();
            ASSERT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(field));
            const auto press = [&](int key, Qt::KeyboardModifiers modifiers, std::uint32_t scanCode) {
                QKeyEvent event(QEvent::KeyPress, key, modifiers, scanCode, 0, 0);
                QApplication::sendEvent(field, &event);
                QApplication::processEvents();
            };
            if (end == End::refusedThenEscape) {
                press(Qt::Key_K, Qt::MetaModifier, 45); // Home's shortcut
                ASSERT_TRUE(field->hasError());
            }
            if (end == End::captured) {
                press(Qt::Key_J, Qt::MetaModifier | Qt::AltModifier, 44);
            } else if (end == End::leftForTheList) {
                list->setFocus(Qt::MouseFocusReason);
                QApplication::processEvents();
            } else {
                press(Qt::Key_Escape, Qt::NoModifier, 9);
            }
            ASSERT_FALSE(field->isVisible());
            EXPECT_EQ(QApplication::focusWidget(), end == End::leftForTheList ? list : starter)
                << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "nothing");
        }
}

TEST(DashboardViewTest, ANewLayoutGlidesIntoViewUnlessTheDesktopAsksForNoAnimation)
{
    // A desktop that asks for no animation, as the style tells it: either switch is enough.
    for (const auto still : {std::optional<QStyle::StyleHint>(), std::optional(QStyle::SH_Widget_Animate),
                             std::optional(QStyle::SH_Widget_Animation_Duration)}) {
        const bool animate = !still;
        std::optional<test::AnimationsOff> off;
        if (still)
            off.emplace(*still);
        Window f;
        for (int i = 0; i < 40; ++i)
            f.add(QStringLiteral("Layout %1").arg(i), 100 + i);
        auto& view = f.open();
        DashboardSnapshotListView* list = view.layoutList();
        list->verticalScrollBar()->setValue(0);
        list->revealRow(15);
        QPropertyAnimation* glide = list->revealAnimation();
        EXPECT_EQ(glide->state() == QAbstractAnimation::Running, animate);
        if (animate) {
            EXPECT_EQ(glide->duration(), list->style()->styleHint(QStyle::SH_Widget_Animation_Duration, nullptr, list));
            EXPECT_EQ(glide->easingCurve().type(), QEasingCurve::OutCubic);
            EXPECT_EQ(glide->startValue().toInt(), 0);
            glide->setCurrentTime(glide->duration());
        }
        EXPECT_EQ(list->indexAt(QPoint(5, 2)).row(), 15);
    }
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
        return std::make_pair(view.layoutModel()->index(0).data(DashboardSnapshotListModel::SummaryRole).toString(),
                              detail->updatedLabel()->text());
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

// Rows that read in days or years (saved at different seconds) keep an idle window asleep
// until the first phrase on screen turns; then the dates are read once.
TEST(DashboardViewTest, RowsReadingInDaysOrYearsWakeTheWindowOnlyWhenAPhraseTurns)
{
    Window f;
    f.add("Days", 17);
    f.add("Years", 2 * 365 * 86400 + 41);
    f.clock = test::fixedDate(3, 7 * 3600);
    auto& view = f.open();
    const auto summaryOf = [&](int row) {
        return view.layoutModel()->index(row).data(DashboardSnapshotListModel::SummaryRole).toString();
    };
    const int days = view.layoutModel()->summaries()[0].name == "Days" ? 0 : 1;
    ASSERT_EQ(summaryOf(days), "1 windows • 1 displays • 3 days ago");
    int refreshes = 0;
    QObject::connect(view.layoutModel(), &QAbstractItemModel::dataChanged, [&] { ++refreshes; });

    const QDateTime turn = test::fixedDate(4, -17);
    const auto step = [&](qint64 milliseconds) {
        f.clock = f.clock.addMSecs(milliseconds);
        f.scheduler->advance(std::chrono::milliseconds(milliseconds));
    };
    while (f.clock.msecsTo(turn) > 60'000)
        step(60'000);
    step(f.clock.msecsTo(turn));
    EXPECT_EQ(refreshes, 0);
    step(1); // just after the turn, as every refresh
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(summaryOf(days), "1 windows • 1 displays • 4 days ago");
}

// A closed window is kept and shown again by the next opening: it opens as a new window would
// (on the first layout, no question or rename left open), on what changed while it was hidden,
// and reads its layout only once it is on screen again.
TEST(DashboardViewTest, AWindowShownAgainOpensAsANewOneOnWhatChangedWhileItWasHidden)
{
    Window f;
    f.add("Work", 60);
    f.add("Home", 120);
    auto& view = f.open();
    auto* detail = qobject_cast<DashboardDetailView*>(view.detailPane());
    ASSERT_NE(detail, nullptr);
    const auto listsMade = [&] {
        for (int i = 0; i < 20 && !detail->preview(); ++i)
            QApplication::processEvents();
        return detail->preview() != nullptr;
    };
    ASSERT_TRUE(listsMade());
    view.presenter().deleteSnapshot(view.layoutModel()->summaries()[1]);
    ASSERT_TRUE(view.deleteConfirmation());

    view.close();
    QApplication::processEvents();
    EXPECT_FALSE(view.isVisible());
    EXPECT_FALSE(view.deleteConfirmation()) << "the question outlived the window";
    EXPECT_EQ(detail->preview(), nullptr) << "the preview was kept while hidden";
    Snapshot desk = f.add("Desk", 0, {makeWindow("org.example.Editor", 1, 1)}, test::commandK);
    f.refresh();
    EXPECT_FALSE(view.presenter().selectedSnapshot()) << "a hidden window read its selection";

    view.show();
    EXPECT_EQ(view.presenter().selectedSummary()->name, "Desk");
    EXPECT_EQ(view.layoutList()->currentRow(), 0);
    EXPECT_FALSE(view.presenter().pendingDeletion());
    EXPECT_EQ(detail->titleLabel()->text(), "Desk");
    EXPECT_EQ(detail->hotkeyCard()->hotkeyText(), DashboardDetailViewPresenter::hotkeyCardText(test::commandK));
    ASSERT_TRUE(listsMade());

    // A rename left unfinished is dropped; the layout is written behind the list's back while
    // the window is hidden.
    view.beginInlineRename(0);
    auto* editor = qobject_cast<QLineEdit*>(view.layoutList()->renameEditor());
    ASSERT_NE(editor, nullptr);
    editor->setText("Half typed");
    view.close();
    QApplication::processEvents();
    desk.windows.push_back(makeWindow("org.example.Mail", 1, 2));
    ASSERT_TRUE(f.store.save(desk).has_value());
    view.show();
    EXPECT_EQ(detail->titleLabel()->text(), "Desk");
    const auto editors = view.layoutList()->findChildren<QLineEdit*>();
    EXPECT_TRUE(std::none_of(editors.begin(), editors.end(), [](QLineEdit* e) { return e->isVisible(); }))
        << "the unfinished rename came back";
    ASSERT_TRUE(listsMade());
    EXPECT_EQ(detail->preview()->snapshot().windows.size(), 2u) << "the layout shown was not read again";
}

// The selected layout is read before the first frame, which shows it whole; one that can no
// longer be read gives way to the error at once.
TEST(DashboardViewTest, TheSelectedLayoutIsReadBeforeTheFirstFrame)
{
    for (const bool readable : {true, false}) {
        SCOPED_TRACE(readable ? "readable" : "unreadable");
        Window f;
        const Snapshot work = f.add("Work", 0, {makeWindow("org.example.Editor", 1, 1), makeWindow("org.example.Mail", 1, 2)});
        f.refresh();
        if (!readable) {
            QFile file(f.store.fileURL(work.id));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("{ not a layout");
        }
        DashboardView::Dependencies d;
        d.permissionCoordinator = f.coordinator;
        d.permissionRouter = f.router;
        d.snapshotMenuController = f.controller;
        d.frameStore = &f.defaults;
        DashboardView view(std::move(d));
        view.setAttribute(Qt::WA_DeleteOnClose, false);
        view.show();
        auto* detail = qobject_cast<DashboardDetailView*>(view.detailPane());
        ASSERT_NE(detail, nullptr);
        EXPECT_FALSE(view.presenter().isSelectedSnapshotDue());
        EXPECT_EQ(view.presenter().selectedSnapshot().has_value(), readable);
        EXPECT_EQ(detail->currentFace() == detail->layoutFace(), readable);
        EXPECT_EQ(f.statusMessage().isEmpty(), readable) << f.statusMessage().toStdString();
        if (readable) {
            EXPECT_EQ(detail->titleLabel()->text(), "Work");
            EXPECT_EQ(detail->metricCards()[0]->value(), "2");
            ASSERT_NE(detail->preview(), nullptr);
            EXPECT_EQ(detail->preview()->snapshot().windows.size(), 2u);
        }
    }
}

// What the detail pane shows at a paint: the layout its preview holds, and where the preview,
// its display cards and the inactive applications lie. Empty parts for what is not shown.
struct PaintedFace {
    QUuid previewLayout;
    QRect preview;
    std::vector<QRect> cards;
    QRect inactiveApps;
    bool operator==(const PaintedFace&) const = default;
};

PaintedFace paintedFace(DashboardDetailView& detail)
{
    const auto shownRect = [&detail](QWidget* widget) {
        return widget && widget->isVisible() ? QRect(widget->mapTo(&detail, QPoint()), widget->size()) : QRect();
    };
    PaintedFace face;
    if (auto* preview = detail.preview(); preview && preview->isVisible()) {
        face.previewLayout = preview->snapshot().id;
        face.preview = shownRect(preview);
        for (QWidget* card : preview->cards())
            face.cards.push_back(shownRect(card));
    }
    face.inactiveApps = shownRect(detail.inactiveApps());
    return face;
}

// Records the face at every paint of the dashboard's detail pane or anything in it.
struct PaintWatch final : QObject {
    const std::unique_ptr<DashboardView>& view;
    std::vector<PaintedFace> faces;
    explicit PaintWatch(const std::unique_ptr<DashboardView>& v) : view(v) { qApp->installEventFilter(this); }
    ~PaintWatch() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint || !watched->isWidgetType() || !view)
            return false;
        auto* detail = qobject_cast<DashboardDetailView*>(view->detailPane());
        if (detail && (watched == detail || detail->isAncestorOf(static_cast<QWidget*>(watched))))
            faces.push_back(paintedFace(*detail));
        return false;
    }
};

// Delivers the layout requests that the widgets of the pane have waiting, and says how many.
int deliverWaitingLayouts(QWidget& pane)
{
    struct Count final : QObject {
        int delivered = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            delivered += event->type() == QEvent::LayoutRequest;
            return false;
        }
    } count;
    qApp->installEventFilter(&count);
    QCoreApplication::sendPostedEvents(&pane, QEvent::LayoutRequest);
    for (QWidget* widget : pane.findChildren<QWidget*>())
        QCoreApplication::sendPostedEvents(widget, QEvent::LayoutRequest);
    qApp->removeEventFilter(&count);
    return count.delivered;
}

// Opening the window, choosing another layout in the list and opening the window again after
// closing it: every frame the pane paints on the way shows the face it ends with, the preview
// of the selected layout in place, never a face still being put together. Which frame the
// window system shows depends on the order of the event queue, so the face is whole already
// when control returns to the event loop, whatever comes next.
TEST(DashboardViewTest, EveryPaintOfTheDetailPaneShowsTheWholeFace)
{
    Window f;
    // Windows on two displays: two cards, one above the other until the preview has the pane's
    // width, then side by side.
    const auto onTwoDisplays = [&f](Snapshot layout) {
        layout.sourceDisplayState = DisplayState::make(
            {test::makeDisplay(1, CGRect(0, 0, 1440, 900), true), test::makeDisplay(2, CGRect(1440, 0, 1920, 1080))}, 1);
        EXPECT_TRUE(f.store.save(layout).has_value());
        return layout;
    };
    const Snapshot work = onTwoDisplays(f.add("Work", 0,
                                              {makeWindow("org.example.Editor", 1, 1), makeWindow("org.example.Mail", 2, 2),
                                               makeWindow("org.example.Gone", 1, 3)}));
    // Large enough that reading and building it outlasts the wait before the next frame.
    std::vector<WindowRecord> many;
    for (int i = 0; i < 400; ++i)
        many.push_back(makeWindow(QStringLiteral("org.example.App%1").arg(i % 12), std::uint32_t(1 + i % 2), i));
    const Snapshot home = onTwoDisplays(f.add("Home", 60, std::move(many)));
    const auto settle = [] {
        for (int i = 0; i < 10; ++i)
            QApplication::processEvents();
    };
    const auto clickRow = [&f](int row) {
        DashboardSnapshotListView* list = f.view->layoutList();
        const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
        for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(list->viewport(), &event);
        }
    };
    const struct {
        const char* story;
        std::function<void()> before;
        std::function<void()> act;
        QUuid shown;
        bool backToTheEventLoop; // the act is what one event does, and control returns after it
    } steps[] = {
        {"first opening", [] {}, [&] { f.open(); }, work.id, false},
        {"another layout", [] {}, [&] { clickRow(1); }, home.id, true},
        {"opening again", [&] { f.view->close(); settle(); }, [&] { f.view->show(); }, work.id, true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.story);
        step.before();
        PaintWatch watch(f.view);
        step.act();
        auto* detail = qobject_cast<DashboardDetailView*>(f.view->detailPane());
        ASSERT_NE(detail, nullptr);
        const PaintedFace atReturn = paintedFace(*detail);
        const int waiting = deliverWaitingLayouts(*detail);
        settle();
        const PaintedFace whole = paintedFace(*detail);
        if (step.backToTheEventLoop) {
            EXPECT_EQ(waiting, 0) << "layout requests left to the event loop";
            EXPECT_TRUE(atReturn == whole) << "still being laid out when control went back to the event loop";
        }
        EXPECT_EQ(whole.previewLayout, step.shown);
        EXPECT_FALSE(whole.preview.isEmpty());
        EXPECT_FALSE(whole.inactiveApps.isEmpty());
        EXPECT_FALSE(watch.faces.empty()) << "nothing was painted";
        EXPECT_EQ(std::ranges::count_if(watch.faces, [&whole](const PaintedFace& face) { return !(face == whole); }), 0)
            << "paints showing a partial face, of " << watch.faces.size();
    }
}

} // namespace
} // namespace zen
