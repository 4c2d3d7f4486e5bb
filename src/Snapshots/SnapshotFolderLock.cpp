#include "Snapshots/SnapshotFolderLock.h"

#include <QFile>

#include <cerrno>
#include <map>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zen {

namespace {

// One mutex per folder for the whole process, kept while any lock of the folder exists.
std::shared_ptr<std::mutex> mutexFor(const QString& key)
{
    static std::mutex registryMutex;
    static std::map<QString, std::weak_ptr<std::mutex>> registry;
    std::lock_guard guard(registryMutex);
    std::erase_if(registry, [](const auto& entry) { return entry.second.expired(); });
    std::weak_ptr<std::mutex>& slot = registry[key];
    auto mutex = slot.lock();
    if (!mutex) {
        mutex = std::make_shared<std::mutex>();
        slot = mutex;
    }
    return mutex;
}

int openLockFile(int folder)
{
    const QByteArray name = QFile::encodeName(SnapshotFolderLock::lockFileName);
    // O_NOFOLLOW: a link planted under the lock file's name must not make us create or lock
    // a file elsewhere; O_NONBLOCK: nor may a named pipe there make the open wait.
    constexpr int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    int fd = ::openat(folder, name.constData(), O_RDWR | O_CREAT | flags, 0600);
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = ::openat(folder, name.constData(), O_RDONLY | flags); // a read-only folder: lock what is there
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

SnapshotFolderLock::SnapshotFolderLock(const QString& directory)
{
    // The folder itself may be reached through a link: that is how one folder gets two names.
    const int folder = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info {};
    if (folder >= 0 && ::fstat(folder, &info) == 0)
        m_mutex = mutexFor(QStringLiteral("folder %1:%2").arg(quint64(info.st_dev)).arg(quint64(info.st_ino)));
    else
        m_mutex = mutexFor(QStringLiteral("path ") + directory);
    m_held = std::unique_lock(*m_mutex);

    if (folder < 0)
        return;
    m_lockFile = openLockFile(folder);
    ::close(folder);
    if (m_lockFile < 0)
        return;
    while (::flock(m_lockFile, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(m_lockFile);
            m_lockFile = -1;
            return;
        }
    }
}

SnapshotFolderLock::~SnapshotFolderLock()
{
    // Closing the only descriptor of the open file releases the flock.
    if (m_lockFile >= 0)
        ::close(m_lockFile);
}

} // namespace zen
