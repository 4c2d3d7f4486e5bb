#include "MenuBar/OperationScheduler.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <map>

namespace zen {

namespace {

class TimerHandle final : public OperationScheduler::Handle {
public:
    explicit TimerHandle(QTimer* timer) : m_timer(timer) {}
    void cancel() override
    {
        if (m_timer) {
            m_timer->stop();
            m_timer->deleteLater();
        }
    }

private:
    QPointer<QTimer> m_timer;
};

} // namespace

void runOnWorker(std::function<void()> work, QThread::Priority priority)
{
    // Owned by the application, which waits for their threads when it ends.
    static std::map<QThread::Priority, QPointer<QThreadPool>> pools;
    QPointer<QThreadPool>& pool = pools[priority];
    if (!pool) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(1);
        pool->setThreadPriority(priority);
        // Work comes in bursts (a save, a restore, a listing): an idle tray program does not
        // keep the thread, nor its stack, for long.
        pool->setExpiryTimeout(2000);
    }
    pool->start(std::move(work));
}

std::unique_ptr<OperationScheduler::Handle> QtOperationScheduler::runAfter(std::chrono::nanoseconds delay,
                                                                           std::function<void()> fn)
{
    // Rounded up: a timer must never fire before the delay has fully passed. QTimer counts in
    // an int: a longer delay would wrap round and could fire at once.
    const auto milliseconds = std::clamp(std::chrono::ceil<std::chrono::milliseconds>(delay), std::chrono::milliseconds(0),
                                         std::chrono::milliseconds(std::numeric_limits<int>::max()));
    // Owned by the application while it waits, so a timer still pending when the program ends
    // is freed with it rather than leaked.
    QCoreApplication* app = QCoreApplication::instance();
    auto* timer = new QTimer(app && app->thread() == QThread::currentThread() ? app : nullptr);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, fn = std::move(fn)] {
        timer->deleteLater();
        if (fn)
            fn();
    });
    timer->start(milliseconds);
    return std::make_unique<TimerHandle>(timer);
}

void QtOperationScheduler::runInBackground(QObject* guard, std::function<void()> work,
                                           std::function<void()> onMainThreadDone)
{
    // The guard is created and read on the main thread only; the result is posted to the
    // application object, which outlives every controller, and checked there.
    QPointer<QObject> pointer(guard);
    runOnWorker([pointer, work = std::move(work), done = std::move(onMainThreadDone)] {
        if (work)
            work();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [pointer, done] {
                if (pointer && done)
                    done();
            },
            Qt::QueuedConnection);
    });
}

} // namespace zen
