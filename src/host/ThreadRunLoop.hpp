#pragma once

#include "host/RunLoop.hpp"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace zqb::host {

// The Linux default of both the run loop and the delayed scheduler: one thread that sleeps until the next
// deadline (monotonic clock) and runs the due blocks. The thread starts with the first timer.
class ThreadRunLoop final : public RunLoopProtocol, public DelayedSchedulerProtocol {
public:
    explicit ThreadRunLoop(std::string name);
    ~ThreadRunLoop() override;

    std::shared_ptr<TimerHandle> scheduleTimer(int64_t intervalMs, bool repeats, int64_t toleranceMs,
                                               std::function<void()> block) override;
    std::shared_ptr<TimerHandle> runAfter(int64_t delayMs, std::function<void()> block) override;

    bool isCurrent() const;

private:
    struct Timer;
    class Handle;
    using TimePoint = std::chrono::steady_clock::time_point;

    static TimePoint deadlineAfter(TimePoint from, int64_t ms);
    void run();

    const std::string name_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::multimap<TimePoint, std::shared_ptr<Timer>> due_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace zqb::host
