#include "App/SingleInstanceLock.h"

#include "Shared/LockFileEntry.h"

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

bool isOurClosedFolder(const struct stat& info)
{
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

// The runtime folder is the session's, and may itself be reached through a link.
bool isPrivateRuntimeFolder(const QString& path)
{
    struct stat info {};
    return !path.isEmpty() && QFileInfo(path).isAbsolute() && ::stat(QFile::encodeName(path).constData(), &info) == 0
           && isOurClosedFolder(info);
}

// A folder of our own inside `parent`, made closed to others where it is missing. An existing
// one is taken only when it is ours and no link: in a shared folder, anyone may have made it.
QString ownFolderIn(const QString& parent, const QString& name)
{
    if (parent.isEmpty() || !QFileInfo(parent).isAbsolute())
        return {};
    const QString path = QDir(parent).filePath(name);
    const QByteArray encoded = QFile::encodeName(path);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    const int fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat info {};
    bool usable = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
    // Ours but opened to others (a umask, a hand): closed again, as only we can.
    if (usable && (info.st_mode & 077) != 0)
        usable = ::fchmod(fd, 0700) == 0;
    ::close(fd);
    return usable ? path : QString();
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

QString SingleInstanceLock::privateDirectory(const QString& runtimeDirectory, const QString& temporaryDirectory,
                                             const QString& cacheDirectory)
{
    if (isPrivateRuntimeFolder(runtimeDirectory))
        return runtimeDirectory;
    if (QString own = ownFolderIn(temporaryDirectory, QStringLiteral("zentharion-%1").arg(::geteuid())); !own.isEmpty())
        return own;
    if (!cacheDirectory.isEmpty())
        QDir().mkpath(cacheDirectory);
    return ownFolderIn(cacheDirectory, QStringLiteral("zentharion"));
}

QString SingleInstanceLock::privateDirectory()
{
    return privateDirectory(qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath(),
                            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
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
