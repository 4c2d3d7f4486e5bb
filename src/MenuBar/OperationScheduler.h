#pragma once

#include <QObject>
#include <QThread>

#include <chrono>
#include <functional>
#include <memory>

namespace zen {

// Where the layout-operations controller puts its delayed and background work, so that its
// tests can run on virtual time and hand-driven workers instead of real timers and threads.
class OperationScheduler {
public:
    // A pending delayed call. Cancelling after it ran, or twice, does nothing.
    class Handle {
    public:
        virtual ~Handle() = default;
        virtual void cancel() = 0;
    };

    virtual ~OperationScheduler() = default;

    // Runs `fn` on the main thread once `delay` has passed, unless cancelled first.
    virtual std::unique_ptr<Handle> runAfter(std::chrono::nanoseconds delay, std::function<void()> fn) = 0;
    // Runs `work` on a worker thread, then `onMainThreadDone` on the main thread, queued, and
    // only while `guard` still exists (a controller released meanwhile gets no call).
    virtual void runInBackground(QObject* guard, std::function<void()> work, std::function<void()> onMainThreadDone) = 0;
};

// Runs `work` on the program's one worker thread of that priority, after what was given before.
void runOnWorker(std::function<void()> work, QThread::Priority priority = QThread::InheritPriority);

// Single-shot QTimers on the main thread and the program's worker thread.
class QtOperationScheduler final : public OperationScheduler {
public:
    std::unique_ptr<Handle> runAfter(std::chrono::nanoseconds delay, std::function<void()> fn) override;
    void runInBackground(QObject* guard, std::function<void()> work, std::function<void()> onMainThreadDone) override;
};

} // namespace zen
