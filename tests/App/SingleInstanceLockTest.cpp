#include "App/SingleInstanceLock.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zen {
namespace {

TEST(SingleInstanceLockTest, OneLockPerDisplayWhateverTheScreen)
{
    struct Case {
        const char* display;
        const char* normalized;
    };
    for (const Case& c : {Case{":0", ":0"}, Case{":0.1", ":0"}, Case{"unix:0", ":0"},
                          Case{"localhost:10.0", "localhost:10"}, Case{"xcb", "xcb"}})
        EXPECT_EQ(SingleInstanceLock::normalizedDisplay(c.display), c.normalized) << c.display;
    EXPECT_EQ(SingleInstanceLock::lockFileName(":0.0"), "zentharion-display_0.lock");
    EXPECT_EQ(SingleInstanceLock::lockFileName("../../etc/x:1"), "zentharion-display.._.._etc_x_1.lock");
}

TEST(SingleInstanceLockTest, ASecondCopyOnTheSameDisplayIsRefusedUntilTheFirstEnds)
{
    QTemporaryDir dir;
    auto first = std::make_unique<SingleInstanceLock>(dir.path(), ":0");
    ASSERT_EQ(first->tryLock(), SingleInstanceLock::Outcome::acquired);

    SingleInstanceLock second(dir.path(), ":0.0");
    EXPECT_EQ(second.tryLock(), SingleInstanceLock::Outcome::alreadyRunning);
    EXPECT_EQ(second.alreadyRunningMessage(), "Zentharion is already running on display :0.");
    SingleInstanceLock otherDisplay(dir.path(), ":1");
    EXPECT_EQ(otherDisplay.tryLock(), SingleInstanceLock::Outcome::acquired);

    first.reset();
    EXPECT_EQ(second.tryLock(), SingleInstanceLock::Outcome::acquired);
}

TEST(SingleInstanceLockTest, AnUnwritableFolderDoesNotCountAsAnotherCopy)
{
    SingleInstanceLock lock("/nonexistent/zentharion-test", ":0");
    EXPECT_EQ(lock.tryLock(), SingleInstanceLock::Outcome::unavailable);
}

} // namespace
} // namespace zen
