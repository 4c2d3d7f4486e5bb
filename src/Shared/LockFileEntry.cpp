#include "Shared/LockFileEntry.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zen {

namespace {

bool isRegularOrAbsent(int folder, const char* name)
{
    struct stat entry {};
    return ::fstatat(folder, name, &entry, AT_SYMLINK_NOFOLLOW) != 0 || S_ISREG(entry.st_mode);
}

int removeNonRegularEntry(int folder, const char* name, QDeadlineTimer deadline)
{
    if (const int guarded = lockExclusivelyBefore(folder, deadline); guarded != 0)
        return guarded == EWOULDBLOCK ? EBUSY : guarded;
    // Looked at again under the guard: another process may have replaced it meanwhile, and
    // a regular file here now may be its lock, held.
    int result = 0;
    struct stat entry {};
    if (::fstatat(folder, name, &entry, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(entry.st_mode)
        && ::unlinkat(folder, name, S_ISDIR(entry.st_mode) ? AT_REMOVEDIR : 0) != 0 && errno != ENOENT)
        result = errno == EEXIST ? ENOTEMPTY : errno;
    ::flock(folder, LOCK_UN);
    return result;
}

} // namespace

int lockExclusivelyBefore(int fd, QDeadlineTimer deadline)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return 0;
        if (errno != EINTR)
            break;
    }
    if (errno != EWOULDBLOCK || deadline.hasExpired())
        return errno;

    // flock has no time limit of its own, and polling it starves: a holder that lets go and
    // takes it again between two polls keeps it for ever. So a thread waits in a blocking
    // flock (which the kernel wakes at each release) on a second descriptor of the same open
    // file; the lock it gets belongs to that open file, and so to `fd` too. Given up on, the
    // thread lets go as soon as it gets the lock, and ends.
    struct Waiter {
        std::mutex mutex;
        std::condition_variable done;
        int fd = -1;
        std::optional<int> result;
        bool abandoned = false;
    };
    auto waiter = std::make_shared<Waiter>();
    waiter->fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (waiter->fd < 0)
        return errno;
    std::thread([waiter] {
        int result = 0;
        while (::flock(waiter->fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                result = errno;
                break;
            }
        }
        std::lock_guard lock(waiter->mutex);
        if (waiter->abandoned) {
            // The other descriptor is closed by now: this one is the open file's last.
            ::close(waiter->fd);
            return;
        }
        waiter->result = result;
        waiter->done.notify_all();
    }).detach();

    std::unique_lock lock(waiter->mutex);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max<qint64>(deadline.remainingTime(), 0));
    waiter->done.wait_until(lock, until, [&] { return waiter->result.has_value(); });
    if (!waiter->result) {
        waiter->abandoned = true;
        return EWOULDBLOCK;
    }
    ::close(waiter->fd);
    return *waiter->result;
}

std::expected<int, int> openLockFileEntry(int folder, const char* name, QDeadlineTimer deadline)
{
    constexpr int flags = O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    int lastError = EAGAIN;
    // A few rounds: an entry can change between the look and the open when another process
    // replaces it at the same moment.
    for (int round = 0; round < 8; ++round) {
        if (!isRegularOrAbsent(folder, name)) {
            if (const int removed = removeNonRegularEntry(folder, name, deadline); removed != 0)
                return std::unexpected(removed);
            continue;
        }
        const int fd = ::openat(folder, name, flags, 0600);
        if (fd < 0) {
            lastError = errno;
            // ELOOP, EISDIR, ENXIO: something other than a file appeared since the look.
            if (errno == EINTR || errno == ELOOP || errno == EISDIR || errno == ENXIO)
                continue;
            return std::unexpected(errno);
        }
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
            return fd;
        lastError = EAGAIN;
        ::close(fd);
    }
    return std::unexpected(lastError);
}

} // namespace zen
