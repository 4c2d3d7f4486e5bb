#include "App/StartUpWork.h"

#include "MenuBar/OperationScheduler.h"

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
    runOnWorker(std::move(work), QThread::IdlePriority);
}

} // namespace zen
