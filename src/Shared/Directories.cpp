#include "Shared/Directories.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zen {

namespace {

bool isDirectory(const QByteArray& path)
{
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::expected<void, PlatformError> createDirectories(const QString& path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    // Walk down from the root so that the first failing component is the one reported.
    qsizetype from = 1;
    for (;;) {
        const qsizetype slash = clean.indexOf(u'/', from);
        const QString prefix = slash < 0 ? clean : clean.left(slash);
        const QByteArray native = QFile::encodeName(prefix);
        if (!prefix.isEmpty() && ::mkdir(native.constData(), 0700) != 0) {
            const int err = errno;
            if (err != EEXIST || !isDirectory(native))
                return std::unexpected(PlatformError::fromErrno(
                    err == EEXIST ? ENOTDIR : err, QStringLiteral("Cannot create folder %1").arg(prefix)));
        }
        if (slash < 0)
            return {};
        from = slash + 1;
    }
}

int removeStaleFiles(const QString& directory, const std::function<bool(const QString& fileName)>& isOurs,
                     const QDateTime& cutoff)
{
    const QByteArray native = QFile::encodeName(directory);
    DIR* dir = ::opendir(native.constData());
    if (!dir)
        return 0;
    const qint64 cutoffMs = cutoff.toMSecsSinceEpoch();
    const int dirFd = ::dirfd(dir);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (!isOurs(name))
            continue;
        struct stat info {};
        // Not following links: a link bearing our name is not our file, nor is its target.
        if (::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
            continue;
        const qint64 modifiedMs = qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
        if (modifiedMs >= cutoffMs)
            continue;
        if (::unlinkat(dirFd, entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

std::shared_ptr<std::mutex> PathLockRegistry::lockFor(const QString& path)
{
    const QString key = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    std::lock_guard guard(m_mutex);
    std::erase_if(m_locks, [](const auto& entry) { return entry.second.expired(); });
    if (auto existing = m_locks[key].lock())
        return existing;
    auto lock = std::make_shared<std::mutex>();
    m_locks[key] = lock;
    return lock;
}

} // namespace zen
