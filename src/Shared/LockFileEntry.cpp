#include "Shared/LockFileEntry.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zen {

namespace {

// How often a thread waiting for a lock looks at its deadline: short against the waits
// callers give.
constexpr std::chrono::milliseconds wakeInterval {10};
// How often a wait without a wake-up timer tries the lock again.
constexpr std::chrono::milliseconds pollInterval {5};

void onWake(int) {}

// The signal that interrupts a thread's wait for a lock: a real-time one that nothing else in
// the program uses, caught by a handler that does nothing and without SA_RESTART, so that the
// wait returns EINTR. Installed once.
int wakeSignal()
{
    static const int number = [] {
        const int chosen = SIGRTMIN + 4;
        struct sigaction action {};
        action.sa_handler = onWake;
        ::sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        ::sigaction(chosen, &action, nullptr);
        return chosen;
    }();
    return number;
}

bool isRegularOrAbsent(int folder, const char* name)
{
    struct stat entry {};
    return ::fstatat(folder, name, &entry, AT_SYMLINK_NOFOLLOW) != 0 || S_ISREG(entry.st_mode);
}

int removeNonRegularEntry(int folder, const char* name, QDeadlineTimer deadline, const std::atomic<bool>* abandoned)
{
    if (const int guarded = lockExclusivelyBefore(folder, deadline, abandoned); guarded != 0)
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

// Tries the lock every few milliseconds until the deadline. Only for a thread that cannot
// have its wake-up timer (the user's pending-signal limit is used up): a holder that lets go
// and takes the lock again between two tries may keep it, which a refusal at once would
// not mend either.
int pollUntil(int fd, const QDeadlineTimer& deadline, const std::atomic<bool>* abandoned)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return 0;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return errno;
        if (abandoned && abandoned->load())
            return ECANCELED;
        const qint64 left = deadline.remainingTime(); // -1: no deadline
        if (left == 0)
            return EWOULDBLOCK;
        const auto pause = left < 0 ? pollInterval : std::min(pollInterval, std::chrono::milliseconds(left));
        const timespec interval {0, long(std::chrono::nanoseconds(pause).count())};
        ::clock_nanosleep(CLOCK_MONOTONIC, 0, &interval, nullptr);
    }
}

} // namespace

int lockExclusivelyBefore(int fd, QDeadlineTimer deadline, const std::atomic<bool>* abandoned)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return 0;
        if (errno != EINTR)
            break;
    }
    if (errno != EWOULDBLOCK)
        return errno;
    if (abandoned && abandoned->load())
        return ECANCELED;
    if (deadline.hasExpired())
        return EWOULDBLOCK;

    // flock has no time limit of its own, and polling it starves: a holder that lets go and
    // takes it again between two polls keeps it for ever. So this thread waits in a blocking
    // flock, which the kernel wakes at each release, and a timer of its own interrupts the
    // wait every few milliseconds to look at the deadline and the abandon flag. No thread or
    // descriptor is made, and the timer is gone when this returns.
    sigevent event {};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = wakeSignal();
    event._sigev_un._tid = ::gettid(); // sigev_notify_thread_id, which this C library does not name
    timer_t timer {};
    if (::timer_create(CLOCK_MONOTONIC, &event, &timer) != 0)
        return pollUntil(fd, deadline, abandoned);
    itimerspec every {};
    every.it_value.tv_nsec = every.it_interval.tv_nsec = wakeInterval.count() * 1000 * 1000;
    // A thread that blocks signals would never be woken: the one signal is let through here.
    sigset_t wake, blocked;
    ::sigemptyset(&wake);
    ::sigaddset(&wake, wakeSignal());
    ::pthread_sigmask(SIG_UNBLOCK, &wake, &blocked);
    int result = 0;
    if (::timer_settime(timer, 0, &every, nullptr) != 0) {
        result = errno;
    } else {
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                result = errno;
                break;
            }
            if (abandoned && abandoned->load()) {
                result = ECANCELED;
                break;
            }
            if (deadline.hasExpired()) {
                result = EWOULDBLOCK;
                break;
            }
        }
    }
    // A wake-up still pending is taken by the handler as this call returns, so it never cuts
    // short a later call of the thread.
    ::timer_delete(timer);
    ::pthread_sigmask(SIG_SETMASK, &blocked, nullptr);
    return result;
}

std::expected<int, int> openLockFileEntry(int folder, const char* name, QDeadlineTimer deadline,
                                          const std::atomic<bool>* abandoned)
{
    constexpr int flags = O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    int lastError = EAGAIN;
    // A few rounds: an entry can change between the look and the open when another process
    // replaces it at the same moment.
    for (int round = 0; round < 8; ++round) {
        if (!isRegularOrAbsent(folder, name)) {
            if (const int removed = removeNonRegularEntry(folder, name, deadline, abandoned); removed != 0)
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
