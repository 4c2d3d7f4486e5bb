#include "Shared/LockFileEntry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zen;

// Another process turns the lock file's entry into a link and back, again and again, so that
// the entry is now and then a regular file when looked at and a link when opened: the link is
// never followed (its target is never made, nor opened), whatever the timing.
TEST(LockFileEntryTest, ALinkSwappedInBeforeTheOpenIsNeverFollowed)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir().mkpath(root.filePath("folder")));
    const QByteArray target = QFile::encodeName(root.filePath("target"));
    const int folder = ::open(QFile::encodeName(root.filePath("folder")).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);

    std::atomic<bool> stop {false};
    std::thread swapper([&] {
        while (!stop.load()) {
            const int made = ::openat(folder, "file", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
            if (made >= 0)
                ::close(made);
            ::renameat(folder, "file", folder, "lock");
            ::symlinkat(target.constData(), folder, "link");
            ::renameat(folder, "link", folder, "lock");
        }
    });
    QElapsedTimer clock;
    clock.start();
    int opened = 0;
    for (int i = 0; i < 20000 && clock.elapsed() < 1500 && !QFileInfo::exists(QFile::decodeName(target)); ++i) {
        const auto fd = openLockFileEntry(folder, "lock", QDeadlineTimer(50));
        if (!fd)
            continue;
        ++opened;
        struct stat info {};
        EXPECT_TRUE(::fstat(*fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink <= 1);
        ::close(*fd);
    }
    stop = true;
    swapper.join();
    ::close(folder);
    EXPECT_FALSE(QFileInfo::exists(QFile::decodeName(target))) << "a link was followed to its target";
    EXPECT_GT(opened, 0);
}

namespace {

// No signal can be queued for this user while this lives, so no wake-up timer can be made.
struct PendingSignalsUsedUp {
    rlimit before {};
    PendingSignalsUsedUp()
    {
        ::getrlimit(RLIMIT_SIGPENDING, &before);
        rlimit none = before;
        none.rlim_cur = 0;
        ::setrlimit(RLIMIT_SIGPENDING, &none);
    }
    ~PendingSignalsUsedUp() { ::setrlimit(RLIMIT_SIGPENDING, &before); }
};

} // namespace

// A wait whose wake-up timer cannot be made still waits: it takes the lock once its holder
// lets go, gives up when abandoned, and ends at its deadline, rather than answer busy at once.
TEST(LockFileEntryTest, AWaitWithoutItsWakeUpTimerStillWaits)
{
    QTemporaryDir root;
    const int folder = ::open(QFile::encodeName(root.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    struct Case {
        const char* what;
        bool letGo, abandon;
        int deadlineMs, expected;
    };
    for (const Case& c : {Case {"the holder lets go", true, false, 20000, 0},
                          Case {"the wait is abandoned", false, true, 20000, ECANCELED},
                          Case {"the holder keeps it", false, false, 300, EWOULDBLOCK}}) {
        SCOPED_TRACE(c.what);
        const auto holder = openLockFileEntry(folder, "lock", QDeadlineTimer(1000));
        const auto waiter = openLockFileEntry(folder, "lock", QDeadlineTimer(1000));
        ASSERT_TRUE(holder && waiter);
        ASSERT_EQ(::flock(*holder, LOCK_EX | LOCK_NB), 0);
        std::atomic<bool> abandoned {false};
        std::thread other([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (c.letGo)
                ::flock(*holder, LOCK_UN);
            abandoned = c.abandon;
        });
        int locked = -1;
        {
            const PendingSignalsUsedUp limit;
            locked = lockExclusivelyBefore(*waiter, QDeadlineTimer(c.deadlineMs), &abandoned);
        }
        other.join();
        EXPECT_EQ(locked, c.expected) << std::strerror(locked);
        ::close(*waiter);
        ::close(*holder);
    }
    ::close(folder);
}
