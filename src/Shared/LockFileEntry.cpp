#include "Shared/LockFileEntry.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
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
    // flock has no time limit of its own: asked without blocking, with short pauses that grow
    // while the holder keeps it.
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return 0;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return errno;
        const auto left = std::chrono::milliseconds(deadline.remainingTime());
        if (deadline.hasExpired() || left.count() <= 0)
            return EWOULDBLOCK;
        std::this_thread::sleep_for(std::min(pause, left));
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
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
