#pragma once

#include <QString>

// The words for this desktop's places wherever a message names one: the computer, the file
// manager, the autostart entry and the access help page. Kept together so that every text
// says them the same way.
namespace zen::DesktopWords {

inline const QString thisComputer = QStringLiteral("this computer");
inline const QString fileManager = QStringLiteral("File Manager");
// Where a program that starts at login is listed.
inline const QString autostart = QStringLiteral("Autostart");
// What the access help button opens.
inline const QString accessHelp = QStringLiteral("Access Help");

} // namespace zen::DesktopWords
