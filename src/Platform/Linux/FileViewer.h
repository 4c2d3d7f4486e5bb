#pragma once

#include <QString>

namespace zen::linux_desktop {

// Shows the file selected in the user's file manager through the freedesktop FileManager1
// D-Bus interface; without a file manager that offers it, opens the file's folder instead.
// False when neither worked.
bool revealFileInFileManager(const QString& filePath);

// Opens the folder with the desktop's default handler for folders.
bool openFolder(const QString& folderPath);

} // namespace zen::linux_desktop
