#pragma once

#include "MenuBar/OperationScheduler.h"

#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace zen::test {

// Virtual time and hand-driven workers: nothing runs until the test says so.
class ManualScheduler final : public OperationScheduler {
public:
    struct Timer {
        std::chrono::nanoseconds due;
        std::function<void()> fn;
        std::shared_ptr<bool> cancelled = std::make_shared<bool>(false);
    };
    struct FlagHandle final : Handle {
        std::shared_ptr<bool> flag;
        explicit FlagHandle(std::shared_ptr<bool> f) : flag(std::move(f)) {}
        void cancel() override { *flag = true; }
    };
    std::unique_ptr<Handle> runAfter(std::chrono::nanoseconds delay, std::function<void()> fn) override
    {
        timers.push_back({now + delay, std::move(fn)});
        return std::make_unique<FlagHandle>(timers.back().cancelled);
    }
    void runInBackground(QObject* guard, std::function<void()> work, std::function<void()> done) override
    {
        jobs.push_back({guard, std::move(work), std::move(done)});
    }
    void advance(std::chrono::nanoseconds by)
    {
        now += by;
        for (size_t i = 0; i < timers.size(); ++i) // a firing timer may add timers
            if (!*timers[i].cancelled && timers[i].due <= now) {
                *timers[i].cancelled = true;
                auto fn = timers[i].fn;
                fn();
            }
    }
    // Runs every queued job, delivering its result as the queued call would.
    void finishWork()
    {
        for (auto& job : std::exchange(jobs, {})) {
            job.work();
            if (job.guard)
                job.done();
        }
    }
    struct Job {
        QPointer<QObject> guard;
        std::function<void()> work, done;
    };
    std::chrono::nanoseconds now{0};
    std::vector<Timer> timers;
    std::vector<Job> jobs;
};

} // namespace zen::test
