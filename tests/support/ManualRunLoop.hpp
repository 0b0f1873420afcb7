#pragma once

#include "host/RunLoop.hpp"
#include "support/ManualClock.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace zqb::test {

// Run loop and delayed scheduler driven by virtual time. Nothing fires by itself: `advance(ms)` moves the
// manual clock forward and fires the due timers on the calling (test) thread, in deadline order (timers due
// at the same instant in the order their firings were scheduled; a repeating timer schedules its next firing
// when it fires). A repeating timer fires again at each interval within the advanced span; an invalidated one
// never fires again. Timers may be scheduled and invalidated from any thread; `advance` is meant to be called
// from one thread at a time.
//
// The run loop keeps its own monotonic virtual time, moved only by `advance`: setting the manual clock
// directly (a jump of the wall clock) does not fire timers, as with the real run loop.
class ManualRunLoop final : public host::RunLoopProtocol, public host::DelayedSchedulerProtocol {
public:
    explicit ManualRunLoop(std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>());

    std::shared_ptr<host::TimerHandle> scheduleTimer(int64_t intervalMs, bool repeats, int64_t toleranceMs,
                                                     std::function<void()> block) override;
    std::shared_ptr<host::TimerHandle> runAfter(int64_t delayMs, std::function<void()> block) override;

    // Moves virtual time (and the clock) forward by `ms`, firing every timer that falls due on the way with
    // the clock set to its deadline. Returns the number of firings. A negative `ms` counts as 0.
    std::size_t advance(int64_t ms);
    // Moves to the earliest pending deadline and fires what is due then. False when nothing is scheduled.
    bool advanceToNextTimer();

    // What is scheduled, for assertions on intervals and tolerances, earliest deadline first.
    struct TimerInfo {
        int64_t intervalMs;
        int64_t toleranceMs;
        bool repeats;
        int64_t dueInMs;  // from the current virtual time
    };
    std::vector<TimerInfo> pendingTimers() const;
    std::size_t pendingCount() const;
    // Delay until the earliest pending deadline, or -1 when nothing is scheduled.
    int64_t nextDueInMs() const;

    // Virtual time elapsed since construction.
    int64_t elapsedMs() const;
    const std::shared_ptr<ManualClock>& clock() const { return clock_; }

private:
    struct Timer;
    class Handle;
    using Key = std::pair<int64_t, uint64_t>;  // deadline, then order of scheduling

    std::shared_ptr<Timer> takeDue(int64_t until, int64_t* deadline);

    std::shared_ptr<ManualClock> clock_;
    mutable std::mutex mutex_;
    int64_t now_ = 0;
    uint64_t nextSequence_ = 0;
    std::map<Key, std::shared_ptr<Timer>> due_;
};

}  // namespace zqb::test
