#include "Platform/Linux/FileViewer.h"

#include "Platform/DesktopServices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QUrl>

namespace zen::linux_desktop {

namespace {

// The main thread waits for the answer; a file manager that is slow to start must not freeze
// the settings window for the default 25 seconds of a D-Bus call.
constexpr int showItemsTimeoutMs = 3000;

} // namespace

bool revealFileInFileManager(const QString& filePath)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(filePath).toString(QUrl::FullyEncoded)} << QString();
        const QDBusMessage reply = bus.call(call, QDBus::Block, showItemsTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
    }
    return openFolder(QFileInfo(filePath).absolutePath());
}

bool openFolder(const QString& folderPath)
{
    return desktopServices().openWithDefaultApplication(folderPath, QStringLiteral("inode/directory"));
}

} // namespace zen::linux_desktop
