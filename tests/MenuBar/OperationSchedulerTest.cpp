#include "MenuBar/OperationScheduler.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace zen {
namespace {

using namespace std::chrono_literals;

// Delays beyond what a QTimer counts must not wrap round into short ones.
TEST(OperationSchedulerTest, DelaysTooLongForATimerNeverFireEarly)
{
    QtOperationScheduler scheduler;
    int fired = 0;
    std::vector<std::unique_ptr<OperationScheduler::Handle>> handles;
    for (const std::chrono::nanoseconds delay : {std::chrono::nanoseconds(4294967297ms), // 2^32 + 1 ms
                                                 std::chrono::nanoseconds(4294967296ms),
                                                 std::chrono::nanoseconds::max()})
        handles.push_back(scheduler.runAfter(delay, [&] { ++fired; }));
    bool shortOne = false;
    handles.push_back(scheduler.runAfter(5ms, [&] { shortOne = true; }));
    QElapsedTimer waited;
    waited.start();
    while ((!shortOne || waited.elapsed() < 100) && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(shortOne);
    EXPECT_EQ(fired, 0);
    for (auto& handle : handles)
        handle->cancel();
}

} // namespace
} // namespace zen
