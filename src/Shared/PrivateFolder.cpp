#include "Shared/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zen {

namespace {

bool ownerIsTrusted(const struct stat& info)
{
    return info.st_uid == 0 || info.st_uid == ::geteuid();
}

} // namespace

QString PrivateFolder::ownFolderIn(const QString& parent, const QString& name)
{
    if (parent.isEmpty() || !QFileInfo(parent).isAbsolute() || !QDir().mkpath(parent))
        return {};
    const QString path = QDir(parent).filePath(name);
    const QByteArray encoded = QFile::encodeName(path);
    const bool made = ::mkdir(encoded.constData(), 0700) == 0;
    if (!made && errno != EEXIST)
        return {};
    const int fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat info {};
    bool usable = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
    // One made here is 0700 whatever the umask left of that. One that stood there is taken only
    // as it stands: a folder someone opened to others (a hand, another program) keeps its mode,
    // which the program changes on no folder it did not make.
    if (usable && made && (info.st_mode & 07777) != 0700)
        usable = ::fchmod(fd, 0700) == 0;
    else if (usable && !made)
        usable = (info.st_mode & 077) == 0;
    ::close(fd);
    return usable ? path : QString();
}

bool PrivateFolder::mayMakeClosed(const QString& path)
{
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return false;
    QString existing = QFileInfo(QDir::cleanPath(path)).path();
    struct stat info {};
    while (::lstat(QFile::encodeName(existing).constData(), &info) != 0) {
        if (errno != ENOENT || existing == QLatin1String("/"))
            return false;
        existing = QFileInfo(existing).path();
    }
    if (::stat(QFile::encodeName(existing).constData(), &info) != 0 || !S_ISDIR(info.st_mode) || !ownerIsTrusted(info)
        || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return false;
    const QString resolved = QFileInfo(existing).canonicalFilePath();
    return !resolved.isEmpty() && isFixedWay(existing) && isFixedWay(resolved);
}

bool PrivateFolder::isFixedWay(const QString& clean)
{
    for (QString child = clean; child != QLatin1String("/");) {
        const QString parent = QFileInfo(child).path();
        struct stat entry {}, above {};
        if (::lstat(QFile::encodeName(child).constData(), &entry) != 0
            || ::stat(QFile::encodeName(parent).constData(), &above) != 0 || !S_ISDIR(above.st_mode)
            || !ownerIsTrusted(above))
            return false;
        // Others may write in a sticky folder, but rename or remove only their own entries.
        if ((above.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !((above.st_mode & S_ISVTX) && ownerIsTrusted(entry)))
            return false;
        child = parent;
    }
    return true;
}

} // namespace zen
