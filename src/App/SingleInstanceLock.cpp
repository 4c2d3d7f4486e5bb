#include "App/SingleInstanceLock.h"

#include "Shared/LockFileEntry.h"
#include "Shared/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zen {

namespace {

// The folder itself, never one a link leads to: a closed folder of this user's.
bool isOurClosedFolder(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)
           && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

} // namespace

QString SingleInstanceLock::normalizedDisplay(const QString& displayName)
{
    const qsizetype colon = displayName.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return displayName;
    QString host = displayName.left(colon);
    if (host == QLatin1String("unix"))
        host.clear();
    QString number = displayName.mid(colon + 1);
    if (const qsizetype dot = number.indexOf(QLatin1Char('.')); dot >= 0)
        number.truncate(dot);
    return host + QLatin1Char(':') + number;
}

QString SingleInstanceLock::lockFileName(const QString& displayName)
{
    QString safe;
    for (const QChar c : normalizedDisplay(displayName)) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
                           || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.')
                           || c == QLatin1Char('-');
        safe += plain ? c : QLatin1Char('_');
    }
    return QStringLiteral("zentharion-display%1.lock").arg(safe);
}

QString SingleInstanceLock::privateDirectory(const QString& userRuntimeFolders)
{
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString sessions = QDir(userRuntimeFolders).filePath(QString::number(::geteuid()));
        if (isOurClosedFolder(sessions))
            return sessions;
    }
    if (QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation); !runtime.isEmpty())
        return runtime;
    // Qt refuses its fallback in the shared temporary folder when another user got there first
    // (their folder, a link or a file under its name). Starting without the check then would
    // let anyone on the machine turn it off, so the lock goes to the user's own cache folder,
    // which every launch of this user without a runtime folder finds alike. None where that
    // folder could not be kept closed: root run with another user's HOME would leave folders
    // of root's in that user's home, or take theirs.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    const QString name = QStringLiteral("zentharion");
    if (cache.isEmpty() || !PrivateFolder::mayMakeClosed(QDir(cache).filePath(name)))
        return {};
    return PrivateFolder::ownFolderIn(cache, name);
}

SingleInstanceLock::SingleInstanceLock(const QString& directory, const QString& displayName)
    : m_display(normalizedDisplay(displayName))
    , m_directory(directory)
    , m_filePath(directory.isEmpty() ? QString() : QDir(directory).filePath(lockFileName(displayName)))
{
}

SingleInstanceLock::~SingleInstanceLock()
{
    // Closing the only descriptor of the open file lets go of the lock.
    if (m_fd >= 0)
        ::close(m_fd);
}

SingleInstanceLock::Outcome SingleInstanceLock::tryLock()
{
    if (m_fd >= 0)
        return Outcome::acquired;
    if (m_directory.isEmpty())
        return Outcome::unavailable;
    const int folder = ::open(QFile::encodeName(m_directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return Outcome::unavailable;
    // Replacing a planted entry waits for another starting copy doing the same, briefly.
    const auto fd = openLockFileEntry(folder, QFile::encodeName(QFileInfo(m_filePath).fileName()).constData(),
                                      QDeadlineTimer(2000));
    ::close(folder);
    if (!fd)
        return Outcome::unavailable;
    if (const int locked = lockExclusivelyBefore(*fd, QDeadlineTimer(0)); locked != 0) {
        ::close(*fd);
        return locked == EWOULDBLOCK ? Outcome::alreadyRunning : Outcome::unavailable;
    }
    m_fd = *fd;
    return Outcome::acquired;
}

QString SingleInstanceLock::alreadyRunningMessage() const
{
    return QStringLiteral("Zentharion is already running on display %1.").arg(m_display);
}

} // namespace zen
