#include "MenuBar/OperationScheduler.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <limits>

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

std::unique_ptr<OperationScheduler::Handle> QtOperationScheduler::runAfter(std::chrono::nanoseconds delay,
                                                                           std::function<void()> fn)
{
    // Rounded up: a timer must never fire before the delay has fully passed.
    auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(delay);
    if (milliseconds.count() < 0)
        milliseconds = std::chrono::milliseconds(0);
    // QTimer counts in an int: a longer delay would wrap round and could fire at once.
    milliseconds = std::min(milliseconds, std::chrono::milliseconds(std::numeric_limits<int>::max()));
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
    QThreadPool::globalInstance()->start([pointer, work = std::move(work), done = std::move(onMainThreadDone)] {
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
