#include "Snapshots/SnapshotFolderLock.h"

#include "Shared/LockFileEntry.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zen {

namespace {

std::atomic<bool> waitsAbandoned {false};

// The longest pause between two looks at the abandon flag while another thread holds the lock.
constexpr std::chrono::milliseconds abandonCheckInterval {20};

// One mutex per folder for the whole process, kept while any lock of the folder exists.
std::shared_ptr<std::timed_mutex> mutexFor(const QString& key)
{
    static std::mutex registryMutex;
    static std::map<QString, std::weak_ptr<std::timed_mutex>> registry;
    std::lock_guard guard(registryMutex);
    std::erase_if(registry, [](const auto& entry) { return entry.second.expired(); });
    std::weak_ptr<std::timed_mutex>& slot = registry[key];
    auto mutex = slot.lock();
    if (!mutex) {
        mutex = std::make_shared<std::timed_mutex>();
        slot = mutex;
    }
    return mutex;
}

// A read-only folder: the lock file that is there, if it is one, is locked as it is.
int openExistingReadOnly(int folder, const char* name)
{
    const int fd = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat info {};
    if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Waits for the mutex until the deadline, or until the waits are abandoned.
std::unique_lock<std::timed_mutex> lockBefore(std::timed_mutex& mutex, const QDeadlineTimer& deadline)
{
    std::unique_lock held(mutex, std::try_to_lock);
    while (!held.owns_lock() && !waitsAbandoned.load() && !deadline.hasExpired()) {
        const qint64 left = deadline.remainingTime(); // -1: no deadline
        held.try_lock_for(left < 0 ? abandonCheckInterval : std::min(abandonCheckInterval, std::chrono::milliseconds(left)));
    }
    return held;
}

} // namespace

void SnapshotFolderLock::abandonWaits(bool abandon)
{
    waitsAbandoned.store(abandon);
}

std::chrono::milliseconds SnapshotFolderLock::defaultWait()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread() ? mainThreadWait : workerWait;
}

SnapshotFolderLock::SnapshotFolderLock(const QString& directory, std::chrono::milliseconds wait)
    : m_directory(directory)
{
    const QDeadlineTimer deadline(wait);
    // The folder itself may be reached through a link: that is how one folder gets two names.
    const int folder = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info {};
    if (folder >= 0 && ::fstat(folder, &info) == 0)
        m_mutex = mutexFor(QStringLiteral("folder %1:%2").arg(quint64(info.st_dev)).arg(quint64(info.st_ino)));
    else
        m_mutex = mutexFor(QStringLiteral("path ") + directory);
    m_held = lockBefore(*m_mutex, deadline);
    if (!m_held.owns_lock()) {
        m_state = waitsAbandoned.load() ? State::abandoned : State::busy;
        if (folder >= 0)
            ::close(folder);
        return;
    }
    if (folder < 0)
        return;

    const QByteArray name = QFile::encodeName(lockFileName);
    auto opened = openLockFileEntry(folder, name.constData(), deadline, &waitsAbandoned);
    if (!opened && (opened.error() == EACCES || opened.error() == EROFS || opened.error() == EPERM))
        opened = openExistingReadOnly(folder, name.constData());
    ::close(folder);
    if (!opened || *opened < 0) {
        const int error = opened ? EACCES : opened.error();
        // Read-only: nothing can change there, so nothing can be lost either.
        if (error != EACCES && error != EROFS && error != EPERM) {
            m_state = error == EBUSY ? State::busy : error == ECANCELED ? State::abandoned : State::unavailable;
            m_held.unlock();
        }
        return;
    }
    m_lockFile = *opened;
    if (const int locked = lockExclusivelyBefore(m_lockFile, deadline, &waitsAbandoned); locked != 0) {
        ::close(m_lockFile);
        m_lockFile = -1;
        // A file system without locks (some network folders) has nothing to fix: this
        // process is kept out, as on a read-only folder.
        if (locked == ENOLCK || locked == EOPNOTSUPP || locked == ENOSYS)
            return;
        m_state = locked == EWOULDBLOCK ? State::busy : locked == ECANCELED ? State::abandoned : State::unavailable;
        m_held.unlock();
    }
}

SnapshotFolderLock::~SnapshotFolderLock()
{
    // Closing the only descriptor of the open file releases the flock.
    if (m_lockFile >= 0)
        ::close(m_lockFile);
}

QString SnapshotFolderLock::lockFilePath() const
{
    return QDir(m_directory).filePath(lockFileName);
}

} // namespace zen
