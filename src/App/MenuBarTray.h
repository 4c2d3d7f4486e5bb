#pragma once

#include "App/MenuBarMenu.h"

#include <QIcon>
#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class QMenu;
class QSystemTrayIcon;

namespace zen {

class X11ButtonPresses;

// When a submenu's rows are made: with the menu, or each time the submenu first opens after
// a rendering (a shortcut pressed in the open menu makes them too).
enum class SubmenuRows { now, whenOpened };

// Fills a menu with the items: titles escaped so '&' shows as itself, text items as labels in
// their emphasis colour, submenus as child menus. Choosing an item, with the pointer or with
// its shortcut while the menu is open, calls `perform` with it.
void renderMenuBarItems(QMenu& menu, const std::vector<MenuBarItem>& items,
                        const std::function<void(const MenuBarItem&)>& perform,
                        SubmenuRows submenuRows = SubmenuRows::now);

// The program's icon in the desktop's system tray with its menu, rebuilt from the published
// state whenever that changes.
class MenuBarTray : public QObject {
    Q_OBJECT
public:
    MenuBarTray(std::function<std::vector<MenuBarItem>()> items, std::function<void(const MenuBarItem&)> perform,
                QObject* parent = nullptr);
    ~MenuBarTray() override;

    // Shows the icon; logs when the desktop has no tray to show it in.
    void show();
    // Rebuilds the menu once control is back in the event loop; several requests in a row
    // rebuild once. Deferred because a menu action's own handling changes the state, and
    // rebuilding at that moment would delete the action that is still being triggered. While
    // the menu is open it is rebuilt only once it closes (or opens again).
    void scheduleRebuild();
    // Runs each time the menu is about to open, before its rows are brought up to date.
    void setAboutToShow(std::function<void()> callback);
    // Asked first at each click on the icon, left or right, also while a modal window of the
    // program's keeps the toolkit from passing the click on: true takes the click, and no menu
    // opens.
    void setClickTaker(std::function<bool()> take);
    // Where the rows come from and what choosing one does, for a tray made before the rest of
    // the program (without them the menu is empty).
    void setItems(std::function<std::vector<MenuBarItem>()> items, std::function<void(const MenuBarItem&)> perform);

    // The menu, its rows built if nothing has asked for them yet (they are built when the menu
    // first opens, not with the tray).
    QMenu* menu();
    // The program's icon at the sizes of `trayIconSizes`, built into the program.
    static QIcon icon();
    static constexpr int trayIconSizes[] = {16, 22, 24, 32, 48, 64};

private:
    void rebuild();
    bool submenuRowsMade() const;

    std::function<std::vector<MenuBarItem>()> m_items;
    std::function<void(const MenuBarItem&)> m_perform;
    std::function<void()> m_aboutToShow;
    std::function<bool()> m_takeClick;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
    // Goes before the icon it looks at.
    std::unique_ptr<X11ButtonPresses> m_blockedClicks;
    bool m_rebuildPending = false;
    bool m_menuOpen = false;
    bool m_built = false;
    bool m_stale = false;
    // The menu is handed to the tray over D-Bus rather than shown by the program.
    bool m_exported = false;
};

} // namespace zen
