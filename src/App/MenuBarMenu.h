#pragma once

#include "MenuBar/SnapshotMenuController.h"
#include "Permissions/AccessibilityTrustChecker.h"
#include "Snapshots/SnapshotSummary.h"

#include <QColor>
#include <QKeySequence>
#include <QPalette>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>
#include <vector>

namespace zen {

// What choosing a menu-bar item does.
enum class MenuBarAction {
    none,
    openAccessibilitySettings,
    saveCurrentLayout,
    restoreLayout, // the item's layoutID
    openDashboard,
    openSettings,
    checkForUpdates,
    quit,
};

// One entry of the tray menu as plain data, so the menu's rules are checked without a tray.
// Titles are raw text (layout names as the user typed them); the renderer escapes them.
struct MenuBarItem {
    enum class Kind { text, button, separator, submenu };
    // How a text or button stands out: explanations are secondary, problems carry a warning
    // or error sign and colour.
    enum class Emphasis { normal, secondary, warning, error };

    Kind kind = Kind::text;
    QString title;
    bool enabled = true;
    MenuBarAction action = MenuBarAction::none;
    QUuid layoutID;
    QKeySequence shortcut;
    // The letter of `title` that chooses the item while the menu is open (underlined there);
    // none for layouts, whose names are the user's.
    QChar accessKey;
    // Shown in the shortcut column in place of Qt's own text of `shortcut`: a layout's shortcut
    // as this desktop writes it (Qt calls Super "Meta"), or one that does not work.
    QString shortcutNote;
    QString toolTip;
    Emphasis emphasis = Emphasis::normal;
    // Smaller type, for explanations and the status line.
    bool caption = false;
    std::vector<MenuBarItem> submenu;

    friend bool operator==(const MenuBarItem&, const MenuBarItem&) = default;
};

// Everything the menu is built from.
struct MenuBarMenuState {
    std::optional<QString> bootstrapErrorMessage;
    AccessibilityAuthorizationState authorizationState = AccessibilityAuthorizationState::unauthorized;
    std::vector<SnapshotSummary> snapshotSummaries; // most recently updated first
    std::optional<SnapshotMenuController::Status> status;
    bool isOperating = false;
    // Layouts whose stored shortcut could not be registered (invalid, taken by an earlier
    // layout, or grabbed by another program).
    QSet<QUuid> refusedHotkeyLayoutIDs;
    bool isUpdateAvailable = false;
    bool canCheckForUpdates = false;
    // Whether the windows these open exist in this build.
    bool canOpenDashboard = false;
    bool canOpenSettings = false;
};

namespace MenuBarMenu {

// Layouts listed directly; the rest go into "More Layouts".
inline constexpr qsizetype recentLayoutCount = 7;

std::vector<MenuBarItem> items(const MenuBarMenuState& state);

// The colour a text item is drawn in on a menu with this palette: red for errors, amber for
// warnings, the palette's quieter text colour for explanations.
QColor emphasisColor(MenuBarItem::Emphasis emphasis, const QPalette& palette);

// A name of 43 characters or more shows as its first 39 and "..."; characters are what the
// user sees (an emoji or an accented letter counts once and is never split).
QString layoutTitle(const QString& name);

} // namespace MenuBarMenu

} // namespace zen
