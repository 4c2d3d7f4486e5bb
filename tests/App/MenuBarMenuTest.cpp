#include "App/MenuBarMenu.h"
#include "App/MenuBarTray.h"
#include "Shared/StringExtensions.h"
#include "Support/ImageChecks.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QTextDocument>
#include <QWidgetAction>

#include <gtest/gtest.h>

namespace zen {
namespace {

SnapshotSummary layout(const QString& name, std::optional<HotkeyBinding> hotkey = std::nullopt)
{
    SnapshotSummary summary;
    summary.id = QUuid::createUuid();
    summary.name = name;
    summary.hotkey = std::move(hotkey);
    return summary;
}

std::vector<SnapshotSummary> layouts(int count)
{
    std::vector<SnapshotSummary> list;
    for (int i = 1; i <= count; ++i)
        list.push_back(layout(QStringLiteral("Layout %1").arg(i)));
    return list;
}

MenuBarMenuState authorizedState(std::vector<SnapshotSummary> summaries = {})
{
    MenuBarMenuState state;
    state.authorizationState = AccessibilityAuthorizationState::authorized;
    state.snapshotSummaries = std::move(summaries);
    return state;
}

// How a layout's name stands in its row.
QString row(const QString& name)
{
    return isolatedForDisplay(name);
}

const MenuBarItem* find(const std::vector<MenuBarItem>& items, const QString& title)
{
    for (const auto& item : items)
        if (item.title == title)
            return &item;
    return nullptr;
}

std::vector<MenuBarItem> restoreItems(const std::vector<MenuBarItem>& items)
{
    std::vector<MenuBarItem> found;
    for (const auto& item : items)
        if (item.action == MenuBarAction::restoreLayout)
            found.push_back(item);
    return found;
}

QStringList titles(const std::vector<MenuBarItem>& items)
{
    QStringList list;
    for (const auto& item : items)
        list << (item.kind == MenuBarItem::Kind::separator ? QStringLiteral("--") : item.title);
    return list;
}

TEST(MenuBarMenuTest, WarningsAndErrorStatusesComeFirstInformationStatusesNever)
{
    using Status = SnapshotMenuController::Status;
    const QStringList fixedEnd{"--", "Open Zentharion", "Settings", "Check for Updates", "--", "Quit Zentharion"};
    MenuBarMenuState plain = authorizedState();
    plain.status = Status{"Saved \"Desk\".", Status::Kind::info};
    MenuBarMenuState troubled = plain;
    troubled.bootstrapErrorMessage = "Permission denied";
    troubled.authorizationState = AccessibilityAuthorizationState::unauthorized;
    troubled.status = Status{"Layout storage is unavailable.", Status::Kind::error};

    EXPECT_EQ(titles(MenuBarMenu::items(plain)),
              QStringList({"Save Current Layout", "--", "No layouts saved yet"}) + fixedEnd);
    const auto items = MenuBarMenu::items(troubled);
    EXPECT_EQ(titles(items), QStringList({"Storage setup failed", "Permission denied", "Window Access Required",
                                          "--", "Save Current Layout", "Layout storage is unavailable.", "--",
                                          "No layouts saved yet"}) + fixedEnd);
    EXPECT_EQ(items[2].action, MenuBarAction::openAccessibilitySettings);
    EXPECT_TRUE(items[2].enabled);
    EXPECT_EQ(items[5].emphasis, MenuBarItem::Emphasis::error);
}

TEST(MenuBarMenuTest, LayoutsBeyondTheSeventhGoIntoMoreLayouts)
{
    struct Case {
        int count;
        size_t direct;
        size_t more; // 0: no submenu
    };
    for (const Case& c : {Case{1, 1, 0}, Case{7, 7, 0}, Case{8, 7, 1}, Case{12, 7, 5}}) {
        const auto list = layouts(c.count);
        const auto items = MenuBarMenu::items(authorizedState(list));
        SCOPED_TRACE(c.count);
        EXPECT_TRUE(find(items, "Layouts"));
        const auto direct = restoreItems(items);
        ASSERT_EQ(direct.size(), c.direct);
        EXPECT_EQ(direct.front().layoutID, list.front().id);
        const MenuBarItem* more = find(items, "More Layouts");
        ASSERT_EQ(more != nullptr, c.more != 0);
        if (more) {
            EXPECT_EQ(more->kind, MenuBarItem::Kind::submenu);
            ASSERT_EQ(more->submenu.size(), c.more);
            EXPECT_EQ(more->submenu.front().layoutID, list[7].id);
            EXPECT_EQ(more->submenu.back().layoutID, list.back().id);
        }
    }
}

TEST(MenuBarMenuTest, LongNamesAreCutWithoutSplittingACharacter)
{
    const QString letters42(42, QLatin1Char('a'));
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 units, one character
    const QString accented = QString::fromUtf8("e\xCC\x81");     // e + combining acute: one character
    struct Case {
        QString name;
        QString shown;
    };
    for (const Case& c : {Case{letters42, letters42},
                          Case{letters42 + "b", QString(39, QLatin1Char('a')) + "..."},
                          Case{QString(38, QLatin1Char('x')) + emoji + QString(10, QLatin1Char('y')),
                               QString(38, QLatin1Char('x')) + emoji + "..."},
                          Case{accented.repeated(42), accented.repeated(42)},
                          Case{accented.repeated(43), accented.repeated(39) + "..."},
                          Case{"R&D", "R&D"}}) {
        EXPECT_EQ(MenuBarMenu::layoutTitle(c.name), c.shown) << c.name.toStdString();
    }
}

TEST(MenuBarMenuTest, ALayoutRowContainsTheNamesDirectionAndLineBreaks)
{
    const QString evil = QString::fromUtf16(u"\u202Eexe.live\u2028two");
    QMenu menu;
    renderMenuBarItems(menu, MenuBarMenu::items(authorizedState({layout(evil, HotkeyBinding{40, 0x900, "Command-Option-K"})})), {});
    QStringList texts;
    for (QAction* action : menu.actions())
        texts << action->text();
    EXPECT_TRUE(texts.contains(QString::fromUtf16(u"\u2068\u202Eexe.live two\u2069\tSuper+Alt+K"))) << texts.join('|').toStdString();
}

TEST(MenuBarMenuTest, AHotkeyShowsAsAShortcutElseAsHelpText)
{
    const auto items = MenuBarMenu::items(authorizedState(
        {layout("Desk", HotkeyBinding{40, 0x900, "Command-Option-K"}),
         layout("Fn", HotkeyBinding{96, 0x1800, "Option-Control-F5"}), layout("Plain")}));
    const auto restores = restoreItems(items);
    ASSERT_EQ(restores.size(), 3u);
    EXPECT_EQ(restores[0].shortcut, QKeySequence(Qt::META | Qt::ALT | Qt::Key_K));
    EXPECT_EQ(restores[0].shortcutNote, "Super+Alt+K"); // Qt would write Meta
    EXPECT_TRUE(restores[0].toolTip.isEmpty());
    EXPECT_TRUE(restores[1].shortcut.isEmpty());
    EXPECT_EQ(restores[1].toolTip, "Hotkey: Ctrl+Alt+F5");
    EXPECT_TRUE(restores[2].shortcut.isEmpty());
    EXPECT_TRUE(restores[2].toolTip.isEmpty());
}

// A shortcut on a function key is no key equivalent of the menu's, yet it shows in the row.
TEST(MenuBarMenuTest, AFunctionKeyShortcutShowsInItsRow)
{
    QMenu menu;
    renderMenuBarItems(
        menu, MenuBarMenu::items(authorizedState({layout("Fn", HotkeyBinding{111, 0x1A00, "Option-Control-Shift-F12"})})),
        {});
    QStringList texts;
    for (QAction* action : menu.actions())
        texts << action->text();
    EXPECT_TRUE(texts.contains(row("Fn") + "\tCtrl+Alt+Shift+F12")) << texts.join('|').toStdString();
}

TEST(MenuBarMenuTest, EnabledStatesFollowStorageTheRunningOperationAndTheUpdater)
{
    struct Case {
        const char* what;
        std::function<void(MenuBarMenuState&)> change;
        bool operationsEnabled;
    };
    for (const Case& c : {Case{"idle", [](MenuBarMenuState&) {}, true},
                          Case{"operating", [](MenuBarMenuState& s) { s.isOperating = true; }, false},
                          Case{"no storage", [](MenuBarMenuState& s) { s.bootstrapErrorMessage = "gone"; }, false},
                          Case{"no access", [](MenuBarMenuState& s) {
                                   s.authorizationState = AccessibilityAuthorizationState::unauthorized;
                               }, true}}) {
        MenuBarMenuState state = authorizedState(layouts(9));
        c.change(state);
        const auto items = MenuBarMenu::items(state);
        SCOPED_TRACE(c.what);
        EXPECT_EQ(find(items, "Save Current Layout")->enabled, c.operationsEnabled);
        for (const auto& item : restoreItems(items))
            EXPECT_EQ(item.enabled, c.operationsEnabled);
        for (const auto& item : find(items, "More Layouts")->submenu)
            EXPECT_EQ(item.enabled, c.operationsEnabled);
        EXPECT_TRUE(find(items, "Quit Zentharion")->enabled);
        EXPECT_FALSE(find(items, "Open Zentharion")->enabled);
        EXPECT_FALSE(find(items, "Settings")->enabled);
    }

    MenuBarMenuState state = authorizedState();
    EXPECT_FALSE(find(MenuBarMenu::items(state), "Check for Updates")->enabled);
    state.canCheckForUpdates = true;
    state.isUpdateAvailable = true;
    EXPECT_TRUE(find(MenuBarMenu::items(state), "Update Available")->enabled);
}

// A shortcut that was refused must not look as if it worked; one that works shows as usual.
TEST(MenuBarMenuTest, ARefusedShortcutShowsAsNotRegistered)
{
    const auto desk = layout("Desk", HotkeyBinding{40, 0x900, "Command-Option-K"});
    const auto copy = layout("Copy", HotkeyBinding{40, 0x900, "Command-Option-K"});
    const auto fn = layout("Fn", HotkeyBinding{96, 0x1800, "Option-Control-F5"});
    MenuBarMenuState state = authorizedState({desk, copy, fn});
    state.refusedHotkeyLayoutIDs = {copy.id, fn.id};
    const auto restores = restoreItems(MenuBarMenu::items(state));
    ASSERT_EQ(restores.size(), 3u);

    EXPECT_EQ(restores[0].shortcut, QKeySequence(Qt::META | Qt::ALT | Qt::Key_K));
    EXPECT_EQ(restores[0].shortcutNote, "Super+Alt+K");
    EXPECT_TRUE(restores[1].shortcut.isEmpty());
    EXPECT_EQ(restores[1].shortcutNote, "Super+Alt+K (not registered)");
    EXPECT_EQ(restores[1].toolTip, "Hotkey: Super+Alt+K is not registered.");
    EXPECT_TRUE(restores[2].shortcut.isEmpty());
    EXPECT_EQ(restores[2].shortcutNote, "Ctrl+Alt+F5 (not registered)");

    QMenu menu;
    renderMenuBarItems(menu, MenuBarMenu::items(state), {});
    QStringList texts;
    for (QAction* action : menu.actions())
        texts << action->text();
    EXPECT_TRUE(texts.contains(row("Copy") + "\t" + restores[1].shortcutNote));
    EXPECT_TRUE(texts.contains(row("Desk") + "\tSuper+Alt+K"));
}

// Counts the pixels close to a colour.
int pixelsNear(const QImage& image, const QColor& color)
{
    return testsupport::countNear(image, image.rect(), color, 59);
}

// Statuses and explanations are read, not chosen: drawn as labels in their colour (an error in
// red), never greyed out as an unavailable command would be, and skipped by the keyboard.
TEST(MenuBarTrayTest, TextRowsAreDrawnInTheirColourNotGreyedOut)
{
    using Status = SnapshotMenuController::Status;
    MenuBarMenuState state = authorizedState();
    state.bootstrapErrorMessage = "Permission denied";
    state.status = Status{"The layout 0B86F2F7 could not be found.", Status::Kind::error};
    QMenu menu;
    renderMenuBarItems(menu, MenuBarMenu::items(state), {});

    struct Case {
        QString title;
        MenuBarItem::Emphasis emphasis;
        bool caption;
    };
    const QColor red = MenuBarMenu::emphasisColor(MenuBarItem::Emphasis::error, menu.palette());
    EXPECT_GT(red.red(), 180);
    EXPECT_LT(red.green(), 80);
    for (const Case& c : {Case{"Storage setup failed", MenuBarItem::Emphasis::error, false},
                          Case{"Permission denied", MenuBarItem::Emphasis::secondary, true},
                          Case{"The layout 0B86F2F7 could not be found.", MenuBarItem::Emphasis::error, true},
                          Case{"No layouts saved yet", MenuBarItem::Emphasis::secondary, true}}) {
        SCOPED_TRACE(c.title.toStdString());
        QLabel* label = nullptr;
        for (QAction* action : menu.actions())
            if (auto* widgetAction = qobject_cast<QWidgetAction*>(action); widgetAction && action->text() == c.title)
                label = qobject_cast<QLabel*>(widgetAction->defaultWidget());
        ASSERT_TRUE(label);
        EXPECT_EQ(label->text(), c.title);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        const QColor expected = MenuBarMenu::emphasisColor(c.emphasis, menu.palette());
        for (const auto group : {QPalette::Active, QPalette::Disabled})
            EXPECT_EQ(label->palette().color(group, QPalette::WindowText), expected);
        EXPECT_EQ(label->font().pointSizeF() < menu.font().pointSizeF(), c.caption);

        label->setEnabled(false); // as it is inside the disabled action
        label->adjustSize();
        const QImage image = label->grab().toImage();
        EXPECT_GT(pixelsNear(image, expected), 5) << "the text is not drawn in its colour";
        if (c.emphasis == MenuBarItem::Emphasis::error) {
            EXPECT_GT(pixelsNear(image, red), 5);
        }
    }

    // The access warning does something: it stays a normal, enabled item with its sign.
    state.authorizationState = AccessibilityAuthorizationState::unauthorized;
    QMenu warned;
    renderMenuBarItems(warned, MenuBarMenu::items(state), {});
    QAction* access = nullptr;
    for (QAction* action : warned.actions())
        if (action->text() == "&Window Access Required")
            access = action;
    ASSERT_TRUE(access);
    EXPECT_FALSE(qobject_cast<QWidgetAction*>(access));
    EXPECT_TRUE(access->isEnabled());
    EXPECT_FALSE(access->icon().isNull());
}

// The keys shown in the open menu work there: layouts' shortcuts and the program's own items'
// access keys. Ctrl keys of a window (Ctrl+Q, Ctrl+S) are neither shown nor taken.
TEST(MenuBarTrayTest, ShortcutsChooseTheirItemWhileTheMenuIsOpen)
{
    struct Case {
        const char* what;
        QKeyCombination keys;
        bool operating;
        std::optional<MenuBarAction> chosen; // absent: the key is the menu's own
    };
    auto list = layouts(9);
    list[8].hotkey = HotkeyBinding{40, 0x900, "Command-Option-K"}; // in "More Layouts"
    for (const Case& c : {Case{"quit", QKeyCombination(Qt::Key_Q), false, MenuBarAction::quit},
                          Case{"save", QKeyCombination(Qt::Key_S), false, MenuBarAction::saveCurrentLayout},
                          Case{"save while busy", QKeyCombination(Qt::Key_S), true, std::nullopt},
                          Case{"settings", QKeyCombination(Qt::Key_T), false, MenuBarAction::openSettings},
                          Case{"a layout in the submenu", Qt::META | Qt::ALT | Qt::Key_K, false,
                               MenuBarAction::restoreLayout},
                          Case{"a window's quit key", Qt::CTRL | Qt::Key_Q, false, std::nullopt},
                          Case{"a window's save key", Qt::CTRL | Qt::Key_S, false, std::nullopt},
                          Case{"a letter no item takes", QKeyCombination(Qt::Key_J), false, std::nullopt},
                          Case{"an unused combination", Qt::CTRL | Qt::Key_J, false, std::nullopt}}) {
        SCOPED_TRACE(c.what);
        MenuBarMenuState state = authorizedState(list);
        state.isOperating = c.operating;
        state.canOpenSettings = true;
        std::vector<MenuBarItem> chosen;
        MenuBarTray tray([&] { return MenuBarMenu::items(state); },
                         [&](const MenuBarItem& item) { chosen.push_back(item); });
        tray.menu()->popup(QPoint(0, 0));
        QCoreApplication::processEvents();
        ASSERT_TRUE(tray.menu()->isVisible());

        // A letter comes with its text, as from a keyboard.
        const QString typed = c.keys.keyboardModifiers() == Qt::NoModifier ? QKeySequence(c.keys.key()).toString().toLower()
                                                                           : QString();
        QKeyEvent press(QEvent::KeyPress, c.keys.key(), c.keys.keyboardModifiers(), typed);
        QCoreApplication::sendEvent(tray.menu(), &press);
        QCoreApplication::processEvents();

        if (!c.chosen) {
            EXPECT_TRUE(chosen.empty());
            tray.menu()->hide();
            continue;
        }
        EXPECT_FALSE(tray.menu()->isVisible()) << "the menu closes as after a click";
        ASSERT_EQ(chosen.size(), 1u);
        EXPECT_EQ(chosen[0].action, *c.chosen);
        if (*c.chosen == MenuBarAction::restoreLayout) {
            EXPECT_EQ(chosen[0].layoutID, list[8].id);
        }
    }
}

// Opening the menu reads the state again (access may have changed outside the program): the
// rows that appear are the new ones.
TEST(MenuBarTrayTest, OpeningTheMenuRefreshesWhatItShows)
{
    MenuBarMenuState state = authorizedState(layouts(1));
    MenuBarTray* trayPointer = nullptr;
    MenuBarTray tray([&] { return MenuBarMenu::items(state); }, {});
    trayPointer = &tray;
    int refreshes = 0;
    tray.setAboutToShow([&] {
        ++refreshes;
        state.authorizationState = AccessibilityAuthorizationState::unauthorized;
        trayPointer->scheduleRebuild(); // as the state's change signal does
    });
    tray.menu()->popup(QPoint(0, 0));
    EXPECT_EQ(refreshes, 1);
    ASSERT_FALSE(tray.menu()->actions().isEmpty());
    EXPECT_EQ(tray.menu()->actions()[0]->text(), "&Window Access Required");
    QCoreApplication::processEvents();
    EXPECT_EQ(tray.menu()->actions()[0]->text(), "&Window Access Required");
    tray.menu()->hide();
}

// Layout names are the user's text: '&' must show, not become a mnemonic.
TEST(MenuBarTrayTest, RendersEscapedTitlesSubmenusAndActions)
{
    auto list = layouts(8);
    list[0].name = "R&D";
    list[0].hotkey = HotkeyBinding{40, 0x900, "Command-Option-K"};
    std::vector<MenuBarItem> chosen;
    QMenu menu;
    renderMenuBarItems(menu, MenuBarMenu::items(authorizedState(list)),
                       [&](const MenuBarItem& item) { chosen.push_back(item); });

    QAction* rnd = nullptr;
    QMenu* more = nullptr;
    for (QAction* action : menu.actions()) {
        if (action->text() == row("R&&D") + "\tSuper+Alt+K")
            rnd = action;
        if (action->menu() && action->text() == "More Layouts")
            more = action->menu();
    }
    ASSERT_TRUE(rnd);
    EXPECT_EQ(rnd->shortcut(), QKeySequence(Qt::META | Qt::ALT | Qt::Key_K));
    ASSERT_TRUE(more);
    ASSERT_EQ(more->actions().size(), 1);
    EXPECT_EQ(more->actions()[0]->text(), row("Layout 8"));

    rnd->trigger();
    more->actions()[0]->trigger();
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[0].layoutID, list[0].id);
    EXPECT_EQ(chosen[1].layoutID, list[7].id);
}

// A layout file's hotkey text reaches the tool tip; markup in it must show as typed, not render.
TEST(MenuBarTrayTest, ToolTipsShowMarkupAsPlainText)
{
    const QString crafted = R"(<img src="file:///etc/x.png"><table><tr><td>F5 & more</td></tr></table>)";
    auto list = layouts(1);
    list[0].hotkey = HotkeyBinding{96, 0x1800, crafted};
    QMenu menu;
    renderMenuBarItems(menu, MenuBarMenu::items(authorizedState(list)), {});

    QAction* restore = nullptr;
    for (QAction* action : menu.actions())
        if (action->text() == row("Layout 1") + "\tCtrl+Alt+F5")
            restore = action;
    ASSERT_TRUE(restore);
    const QString shown = restore->toolTip();
    EXPECT_FALSE(shown.contains("<img")) << shown.toStdString();
    EXPECT_FALSE(shown.contains("<table")) << shown.toStdString();
    QTextDocument rendered;
    rendered.setHtml(shown);
    EXPECT_EQ(rendered.toPlainText(), "Hotkey: Ctrl+Alt+F5");
}

// Choosing an item changes the state the menu shows (a restore starts); the menu follows once
// the choice has been handled, without deleting the action while it is being triggered.
TEST(MenuBarTrayTest, FollowsTheStateAfterAnItemWasChosen)
{
    MenuBarMenuState state = authorizedState(layouts(1));
    MenuBarTray* trayPointer = nullptr;
    MenuBarTray tray([&] { return MenuBarMenu::items(state); },
                     [&](const MenuBarItem&) {
                         state.isOperating = true;
                         trayPointer->scheduleRebuild();
                         trayPointer->scheduleRebuild();
                     });
    trayPointer = &tray;
    const auto action = [&](const QString& text) -> QAction* {
        for (QAction* a : tray.menu()->actions())
            if (a->text() == text)
                return a;
        return nullptr;
    };
    ASSERT_TRUE(action(row("Layout 1")));
    action(row("Layout 1"))->trigger();
    EXPECT_TRUE(action(row("Layout 1"))->isEnabled()) << "rebuilt before control returned to the event loop";
    QCoreApplication::processEvents();
    ASSERT_TRUE(action(row("Layout 1")));
    EXPECT_FALSE(action(row("Layout 1"))->isEnabled());
    EXPECT_FALSE(action("&Save Current Layout")->isEnabled());
}

// A status line that appears (or clears itself) while the menu is open would move the rows
// under the pointer; the open menu keeps its rows and follows once it has closed.
TEST(MenuBarTrayTest, AnOpenMenuKeepsItsRowsUntilItCloses)
{
    MenuBarMenuState state = authorizedState(layouts(2));
    MenuBarTray tray([&] { return MenuBarMenu::items(state); }, {});
    const auto texts = [&] {
        QStringList list;
        for (QAction* action : tray.menu()->actions())
            list << action->text();
        return list;
    };
    const QStringList shown = texts();

    tray.menu()->popup(QPoint(0, 0));
    state.snapshotSummaries.insert(state.snapshotSummaries.begin(), layout("New"));
    tray.scheduleRebuild();
    QCoreApplication::processEvents();
    EXPECT_EQ(texts(), shown);

    tray.menu()->hide();
    QCoreApplication::processEvents();
    EXPECT_TRUE(texts().contains(row("New")));

    // A closed menu follows a change at once.
    state.snapshotSummaries.erase(state.snapshotSummaries.begin());
    tray.scheduleRebuild();
    QCoreApplication::processEvents();
    EXPECT_EQ(texts(), shown);
}

// A tray program spends most of its life with the menu closed: the rows are made when the menu
// is first wanted, and a long "More Layouts" list only while its submenu is open.
TEST(MenuBarTrayTest, RowsAreMadeWhenWantedAndLongListsOnlyWhileOpen)
{
    const auto list = layouts(1000);
    const MenuBarMenuState state = authorizedState(list);
    int reads = 0;
    std::vector<MenuBarItem> chosen;
    MenuBarTray tray([&] { ++reads; return MenuBarMenu::items(state); },
                     [&](const MenuBarItem& item) { chosen.push_back(item); });
    tray.scheduleRebuild();
    QCoreApplication::processEvents();
    EXPECT_EQ(reads, 0);

    tray.menu()->popup(QPoint(0, 0));
    EXPECT_EQ(reads, 1);
    const auto more = [&]() -> QMenu* {
        for (QAction* action : tray.menu()->actions())
            if (action->menu() && action->text() == "More Layouts")
                return action->menu();
        return nullptr;
    };
    ASSERT_TRUE(more());
    EXPECT_TRUE(more()->isEmpty());
    more()->popup(QPoint(0, 0));
    ASSERT_EQ(more()->actions().size(), 993);
    EXPECT_EQ(more()->actions().back()->text(), "Layout 1000");
    more()->actions().back()->trigger();
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_EQ(chosen[0].layoutID, list.back().id);

    more()->hide();
    tray.menu()->hide();
    QCoreApplication::processEvents();
    ASSERT_TRUE(more());
    EXPECT_TRUE(more()->isEmpty()) << "the closed menu gives the rows up";
    EXPECT_EQ(reads, 2);
}

// The tray's icon is drawn beforehand from the program's SVG; an edited SVG must not leave the
// tray showing the old picture.
TEST(MenuBarTrayTest, TheTrayIconIsTheProgramIconAtEverySize)
{
    const QIcon program(QStringLiteral(":/zentharion/zentharion.svg"));
    const QIcon tray = MenuBarTray::icon();
    for (const int size : MenuBarTray::trayIconSizes) {
        SCOPED_TRACE(size);
        const QImage expected = program.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage shown = tray.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(shown.size(), QSize(size, size));
        ASSERT_EQ(expected.size(), shown.size());
        int different = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const QColor a = expected.pixelColor(x, y), b = shown.pixelColor(x, y);
                different += testsupport::colorDistance(a, b) + std::abs(a.alpha() - b.alpha()) > 24;
            }
        EXPECT_EQ(different, 0);
    }
}

} // namespace
} // namespace zen
