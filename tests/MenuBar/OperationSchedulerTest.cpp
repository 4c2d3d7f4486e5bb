#include "MenuBar/OperationScheduler.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <mutex>

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

// Background work, whichever scheduler it came through, runs on one worker thread, one piece
// after the other in the order given, and each result is taken in on the main thread. Threads
// taking turns would each keep a heap of their own of what the work freed.
TEST(OperationSchedulerTest, BackgroundWorkRunsInTurnOnOneWorkerThread)
{
    QObject guard;
    std::vector<QtOperationScheduler> schedulers(3);
    std::mutex mutex;
    std::vector<int> order;
    QSet<QThread*> workers;
    int done = 0;
    for (int i = 0; i < 6; ++i)
        schedulers[std::size_t(i) % schedulers.size()].runInBackground(
            &guard,
            [&, i] {
                QThread::msleep(5); // long enough for work run side by side to show
                const std::lock_guard lock(mutex);
                order.push_back(i);
                workers.insert(QThread::currentThread());
            },
            [&] {
                EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
                ++done;
            });
    QElapsedTimer waited;
    waited.start();
    while (done < 6 && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(done, 6);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(workers.size(), 1);
    EXPECT_FALSE(workers.contains(QCoreApplication::instance()->thread()));
}

} // namespace
} // namespace zen
