#include "App/MenuBarMenu.h"

#include "Hotkeys/HotkeyBindingValidator.h"
#include "Hotkeys/HotkeyText.h"
#include "Shared/DesktopWords.h"
#include "Shared/StringExtensions.h"
#include "Updates/AppUpdateController.h"

#include <QTextBoundaryFinder>

namespace zen::MenuBarMenu {

namespace {

constexpr qsizetype longestWholeName = 42;
constexpr qsizetype shortenedNameLength = 39;

MenuBarItem text(QString title, MenuBarItem::Emphasis emphasis, bool caption)
{
    MenuBarItem item;
    item.kind = MenuBarItem::Kind::text;
    item.title = std::move(title);
    item.enabled = false;
    item.emphasis = emphasis;
    item.caption = caption;
    return item;
}

MenuBarItem button(QString title, MenuBarAction action, bool enabled = true, QChar accessKey = {})
{
    MenuBarItem item;
    item.kind = MenuBarItem::Kind::button;
    item.title = std::move(title);
    item.action = action;
    item.enabled = enabled;
    item.accessKey = accessKey;
    return item;
}

MenuBarItem separator()
{
    MenuBarItem item;
    item.kind = MenuBarItem::Kind::separator;
    item.enabled = false;
    return item;
}

MenuBarItem restoreButton(const SnapshotSummary& summary, bool enabled, bool hotkeyRefused)
{
    // The name is the file's text: isolated, so that direction marks in it cannot reorder the
    // row, and on one line.
    MenuBarItem item = button(isolatedForDisplay(layoutTitle(summary.name)), MenuBarAction::restoreLayout, enabled);
    item.layoutID = summary.id;
    if (!summary.hotkey)
        return item;
    const auto shortcut = shortcutRepresentation(*summary.hotkey);
    const QString keys = hotkeyText(*summary.hotkey);
    if (hotkeyRefused) {
        // Listed next to the name it would look as if it worked; the status line said why not.
        item.shortcutNote = QStringLiteral("%1 (not registered)").arg(keys);
        item.toolTip = QStringLiteral("Hotkey: %1 is not registered.").arg(keys);
        return item;
    }
    // Every shortcut shows in the shortcut column; one that the menu cannot take as a key
    // equivalent of its own (a function key) is explained in the help text too.
    item.shortcutNote = keys;
    if (shortcut)
        item.shortcut = shortcut->keySequence();
    else
        item.toolTip = QStringLiteral("Hotkey: ") + keys;
    return item;
}

} // namespace

QString layoutTitle(const QString& name)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, name);
    qsizetype count = 0;
    qsizetype cut = 0;
    while (graphemes.toNextBoundary() != -1) {
        ++count;
        if (count == shortenedNameLength)
            cut = graphemes.position();
        if (count > longestWholeName)
            return name.left(cut) + QStringLiteral("...");
    }
    return name;
}

std::vector<MenuBarItem> items(const MenuBarMenuState& state)
{
    using Emphasis = MenuBarItem::Emphasis;
    const bool storageWorks = !state.bootstrapErrorMessage.has_value();
    const bool canRunOperation = storageWorks && !state.isOperating;

    std::vector<MenuBarItem> menu;
    if (state.bootstrapErrorMessage) {
        menu.push_back(text(QStringLiteral("Storage setup failed"), Emphasis::error, false));
        menu.push_back(text(*state.bootstrapErrorMessage, Emphasis::secondary, true));
    }
    if (state.authorizationState == AccessibilityAuthorizationState::unauthorized) {
        MenuBarItem access = button(DesktopWords::windowAccess + QStringLiteral(" Required"),
                                    MenuBarAction::openAccessibilitySettings, true, QLatin1Char('W'));
        access.emphasis = Emphasis::warning;
        menu.push_back(access);
        menu.push_back(separator());
    }
    // The program's own items take access keys, not Ctrl shortcuts: a menu that opens from
    // the tray has no window whose keys they could be, and in the column where the layouts'
    // global shortcuts stand they would read as global ones too.
    menu.push_back(button(QStringLiteral("Save Current Layout"), MenuBarAction::saveCurrentLayout, canRunOperation,
                          QLatin1Char('S')));
    if (state.status && state.status->isError())
        menu.push_back(text(state.status->message, Emphasis::error, true));
    menu.push_back(separator());

    const auto& summaries = state.snapshotSummaries;
    if (summaries.empty()) {
        menu.push_back(text(QStringLiteral("No layouts saved yet"), Emphasis::secondary, true));
    } else {
        menu.push_back(text(QStringLiteral("Layouts"), Emphasis::secondary, true));
        const qsizetype recent = std::min<qsizetype>(recentLayoutCount, qsizetype(summaries.size()));
        for (qsizetype i = 0; i < recent; ++i)
            menu.push_back(restoreButton(summaries[size_t(i)], canRunOperation,
                                           state.refusedHotkeyLayoutIDs.contains(summaries[size_t(i)].id)));
        if (qsizetype(summaries.size()) > recentLayoutCount) {
            MenuBarItem more;
            more.kind = MenuBarItem::Kind::submenu;
            more.title = QStringLiteral("More Layouts");
            for (size_t i = size_t(recentLayoutCount); i < summaries.size(); ++i)
                more.submenu.push_back(restoreButton(summaries[i], canRunOperation,
                                                      state.refusedHotkeyLayoutIDs.contains(summaries[i].id)));
            menu.push_back(more);
        }
    }

    menu.push_back(separator());
    menu.push_back(button(QStringLiteral("Open Zentharion"), MenuBarAction::openDashboard, state.canOpenDashboard,
                          QLatin1Char('O')));
    menu.push_back(button(QStringLiteral("Settings"), MenuBarAction::openSettings, state.canOpenSettings,
                          QLatin1Char('t')));
    menu.push_back(button(state.isUpdateAvailable ? AvailableAppUpdate::actionTitle()
                                                  : QStringLiteral("Check for Updates"),
                          MenuBarAction::checkForUpdates, state.canCheckForUpdates, QLatin1Char('U')));
    menu.push_back(separator());
    menu.push_back(button(QStringLiteral("Quit Zentharion"), MenuBarAction::quit, true, QLatin1Char('Q')));
    return menu;
}

QColor emphasisColor(MenuBarItem::Emphasis emphasis, const QPalette& palette)
{
    // Chosen to stay readable on light and dark menus alike.
    switch (emphasis) {
    case MenuBarItem::Emphasis::error:
        return QColor(0xd7, 0x26, 0x1e);
    case MenuBarItem::Emphasis::warning:
        return QColor(0xc7, 0x7c, 0x02);
    case MenuBarItem::Emphasis::secondary: {
        // Between the text and the background, opaque: quieter than the text, yet readable.
        const QColor text = palette.color(QPalette::Active, QPalette::WindowText);
        const QColor background = palette.color(QPalette::Active, QPalette::Window);
        const auto mix = [](int a, int b) { return (a * 3 + b * 2) / 5; };
        return QColor(mix(text.red(), background.red()), mix(text.green(), background.green()),
                      mix(text.blue(), background.blue()));
    }
    case MenuBarItem::Emphasis::normal:
        break;
    }
    return palette.color(QPalette::Active, QPalette::WindowText);
}

} // namespace zen::MenuBarMenu
