#pragma once

#include "MenuBar/OperationScheduler.h"

#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace zen::test {

// Timers on virtual time: nothing fires until advance() passes its due time. Timers that
// come due in one advance() fire in due order; a timer added by a firing one fires in the
// same advance() when it is due by then. Background work runs at once, synchronously.
class VirtualTimeScheduler final : public OperationScheduler {
public:
    std::unique_ptr<Handle> runAfter(std::chrono::nanoseconds delay, std::function<void()> fn) override
    {
        auto timer = std::make_shared<Timer>(Timer{now + std::max(delay, std::chrono::nanoseconds(0)), sequence++,
                                                   std::move(fn)});
        timers.push_back(timer);
        return std::make_unique<TimerHandle>(timer);
    }
    void runInBackground(QObject* guard, std::function<void()> work, std::function<void()> done) override
    {
        QPointer<QObject> pointer(guard);
        if (work)
            work();
        if (pointer && done)
            done();
    }

    void advance(std::chrono::nanoseconds by)
    {
        const auto end = now + by;
        for (;;) {
            std::shared_ptr<Timer> next;
            for (const auto& timer : timers)
                if (!timer->done && timer->due <= end
                    && (!next || timer->due < next->due || (timer->due == next->due && timer->order < next->order)))
                    next = timer;
            if (!next)
                break;
            now = std::max(now, next->due);
            next->done = true;
            if (next->fn)
                next->fn();
        }
        now = end;
    }
    void advanceSeconds(double seconds)
    {
        advance(std::chrono::nanoseconds(static_cast<std::int64_t>(seconds * 1e9 + 0.5)));
    }
    int pendingCount() const
    {
        int count = 0;
        for (const auto& timer : timers)
            count += timer->done ? 0 : 1;
        return count;
    }

    std::chrono::nanoseconds now{0};

private:
    struct Timer {
        std::chrono::nanoseconds due;
        long order;
        std::function<void()> fn;
        bool done = false;
    };
    struct TimerHandle final : Handle {
        std::weak_ptr<Timer> timer;
        explicit TimerHandle(std::weak_ptr<Timer> t) : timer(std::move(t)) {}
        void cancel() override
        {
            if (auto t = timer.lock())
                t->done = true;
        }
    };
    std::vector<std::shared_ptr<Timer>> timers;
    long sequence = 0;
};

} // namespace zen::test
