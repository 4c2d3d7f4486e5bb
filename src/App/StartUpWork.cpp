#include "App/StartUpWork.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QThreadPool>

#include <utility>

namespace zen {

void StartUpWork::add(std::function<void()> task)
{
    if (!task)
        return;
    if (m_released)
        task();
    else
        m_waiting.push_back(std::move(task));
}

void StartUpWork::release()
{
    if (m_released)
        return;
    m_released = true;
    // A task may add another; that one runs at once, inside this loop's call.
    for (auto& task : std::exchange(m_waiting, {}))
        task();
}

void runInIdleTime(std::function<void()> work)
{
    // Owned by the application, which waits for its thread when it ends.
    static QPointer<QThreadPool> pool;
    if (!pool) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(1);
        pool->setThreadPriority(QThread::IdlePriority);
        // An idle tray program keeps no worker (and its stack) around for the next task.
        pool->setExpiryTimeout(1000);
    }
    pool->start(std::move(work));
}

} // namespace zen
