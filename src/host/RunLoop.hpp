#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace zqb::host {

// A scheduled timer. Invalidating it stops every later firing; a block already running finishes.
class TimerHandle {
public:
    virtual ~TimerHandle() = default;
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
};

// Timers that fire on a thread owned by the run loop (never the host's thread, never a library queue).
// Blocks must be short: they post their work onto a queue.
class RunLoopProtocol {
public:
    virtual ~RunLoopProtocol() = default;
    // Fires `block` after `intervalMs` and, when `repeats`, every `intervalMs` after that until invalidated.
    // A firing may come up to `toleranceMs` late. Intervals below 1 ms count as 1 ms.
    virtual std::shared_ptr<TimerHandle> scheduleTimer(int64_t intervalMs, bool repeats, int64_t toleranceMs,
                                                       std::function<void()> block) = 0;
};

// "Run this after N ms", for delayed retries. Cancel through the returned handle.
class DelayedSchedulerProtocol {
public:
    virtual ~DelayedSchedulerProtocol() = default;
    virtual std::shared_ptr<TimerHandle> runAfter(int64_t delayMs, std::function<void()> block) = 0;
};

}  // namespace zqb::host
