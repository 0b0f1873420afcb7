#pragma once

#include "host/RunLoop.hpp"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace zqb::host {

// The Linux default of both the run loop and the delayed scheduler: one thread that sleeps until the next
// deadline (monotonic clock) and runs the due blocks. The thread starts with the first timer. Once the
// process has begun to exit (`ProcessExit`), no block runs any more.
class ThreadRunLoop final : public RunLoopProtocol, public DelayedSchedulerProtocol {
public:
    explicit ThreadRunLoop(std::string name);
    // Drops every pending timer and joins the thread; when the last owner is released from a timer block,
    // the thread is detached instead and ends once that block has returned.
    ~ThreadRunLoop() override;

    ThreadRunLoop(const ThreadRunLoop&) = delete;
    ThreadRunLoop& operator=(const ThreadRunLoop&) = delete;

    std::shared_ptr<TimerHandle> scheduleTimer(int64_t intervalMs, bool repeats, int64_t toleranceMs,
                                               std::function<void()> block) override;
    std::shared_ptr<TimerHandle> runAfter(int64_t delayMs, std::function<void()> block) override;

    // True on the run loop's own thread.
    bool isCurrent() const;

private:
    struct Timer;
    struct State;
    class Handle;
    using TimePoint = std::chrono::steady_clock::time_point;

    static TimePoint deadlineAfter(TimePoint from, int64_t ms);
    static void run(const std::shared_ptr<State>& state);

    // Shared with the thread, so that the run loop may be released from one of its own blocks.
    std::shared_ptr<State> state_;
    std::thread thread_;
};

}  // namespace zqb::host
