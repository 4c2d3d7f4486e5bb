#pragma once

#include <QString>
#include <QStringList>

// The words for this desktop's places, keys and menus wherever a message names one: the
// computer, the file manager, the autostart entry, the access help page, the modifier keys
// and the tray menu. Kept together so that every text says them the same way.
namespace zen::DesktopWords {

inline const QString thisComputer = QStringLiteral("this computer");
inline const QString fileManager = QStringLiteral("File Manager");
// Where a program that starts at login is listed.
inline const QString autostart = QStringLiteral("Autostart");
// What the access help button opens.
inline const QString accessHelp = QStringLiteral("Access Help");

// The program's own menu lives behind its tray icon; on a desktop without a tray, in the
// dashboard window's menu bar.
inline const QString trayMenu = QStringLiteral("tray menu");
inline const QString dashboardMenu = QStringLiteral("dashboard's menu");
inline QString programMenu(bool hasTray) { return hasTray ? trayMenu : dashboardMenu; }

// Modifier keys as keyboards and Qt's shortcut texts name them here. Stored bindings keep
// their Command, Option and Control bits; those keys are Super, Alt and Ctrl on this desktop.
inline const QString superKey = QStringLiteral("Super");
inline const QString altKey = QStringLiteral("Alt");
inline const QString ctrlKey = QStringLiteral("Ctrl");
inline const QString shiftKey = QStringLiteral("Shift");
// The keys a shortcut needs at least one of, as a sentence lists them.
inline const QString requiredModifierKeys = QStringLiteral("%1, %2, or %3").arg(superKey, altKey, ctrlKey);

// What grabs global shortcuts here, named where a failed grab reports the server's status code.
inline const QString keyGrabService = QStringLiteral("X11");

// What window access takes here, step by step: an X11 session, a window manager that follows
// EWMH, and then letting the program look again. The help page names the same steps.
inline const QString x11SessionStep = QStringLiteral("X11 Session");
inline const QString windowManagerStep = QStringLiteral("EWMH Window Manager");
inline const QString checkAgainStep = QStringLiteral("Check Again");
inline const QStringList accessPathSteps{x11SessionStep, windowManagerStep, checkAgainStep};

// What the program needs to save and restore layouts: reading and moving other programs'
// windows. Here no setting grants it and "accessibility" means assistive technology, so the
// texts name the thing itself, and where there is room, what it takes.
inline const QString windowAccess = QStringLiteral("Window Access");
inline const QString windowAccessNeeds = QStringLiteral("an X11 session with an EWMH window manager");

} // namespace zen::DesktopWords
