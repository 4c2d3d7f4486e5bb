#include "Shared/LockFileEntry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <fcntl.h>
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
