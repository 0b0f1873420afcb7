#include "support/ManualRunLoop.hpp"

#include <atomic>
#include <limits>

namespace zqb::test {

struct ManualRunLoop::Timer {
    int64_t intervalMs = 1;
    int64_t toleranceMs = 0;
    bool repeats = false;
    std::function<void()> block;
    std::atomic<bool> valid{true};
};

class ManualRunLoop::Handle final : public host::TimerHandle {
public:
    explicit Handle(std::shared_ptr<Timer> timer) : timer_(std::move(timer)) {}
    void invalidate() override { timer_->valid.store(false); }
    bool isValid() const override { return timer_->valid.load(); }

private:
    std::shared_ptr<Timer> timer_;
};

ManualRunLoop::ManualRunLoop(std::shared_ptr<ManualClock> clock) : clock_(std::move(clock)) {}

std::shared_ptr<host::TimerHandle> ManualRunLoop::scheduleTimer(int64_t intervalMs, bool repeats,
                                                                int64_t toleranceMs,
                                                                std::function<void()> block) {
    auto timer = std::make_shared<Timer>();
    timer->intervalMs = intervalMs < 1 ? 1 : intervalMs;
    timer->toleranceMs = toleranceMs;
    timer->repeats = repeats;
    timer->block = std::move(block);
    std::lock_guard lock(mutex_);
    due_.emplace(Key{host::saturatingAdd(now_, timer->intervalMs), nextSequence_++}, timer);
    return std::make_shared<Handle>(timer);
}

std::shared_ptr<host::TimerHandle> ManualRunLoop::runAfter(int64_t delayMs, std::function<void()> block) {
    return scheduleTimer(delayMs, false, 0, std::move(block));
}

std::shared_ptr<ManualRunLoop::Timer> ManualRunLoop::takeDue(int64_t until, int64_t* deadline) {
    std::vector<std::shared_ptr<Timer>> invalid;  // released after the lock
    std::lock_guard lock(mutex_);
    while (!due_.empty()) {
        auto first = due_.begin();
        if (!first->second->valid.load()) {
            invalid.push_back(std::move(first->second));
            due_.erase(first);
            continue;
        }
        if (first->first.first > until) {
            return nullptr;
        }
        std::shared_ptr<Timer> timer = std::move(first->second);
        *deadline = first->first.first;
        due_.erase(first);
        if (now_ < *deadline) {
            now_ = *deadline;
        }
        if (timer->repeats) {
            due_.emplace(Key{host::saturatingAdd(*deadline, timer->intervalMs), nextSequence_++}, timer);
        } else {
            timer->valid.store(false);
        }
        return timer;
    }
    return nullptr;
}

std::size_t ManualRunLoop::advance(int64_t ms) {
    int64_t target = 0;
    {
        std::lock_guard lock(mutex_);
        target = host::saturatingAdd(now_, ms < 0 ? 0 : ms);
    }
    std::size_t fired = 0;
    int64_t previous = elapsedMs();
    for (;;) {
        int64_t deadline = 0;
        std::shared_ptr<Timer> timer = takeDue(target, &deadline);
        if (!timer) {
            break;
        }
        clock_->advance(deadline - previous);
        previous = deadline;
        timer->block();
        ++fired;
    }
    {
        std::lock_guard lock(mutex_);
        now_ = target;
    }
    clock_->advance(target - previous);
    return fired;
}

bool ManualRunLoop::advanceToNextTimer() {
    const int64_t dueIn = nextDueInMs();
    if (dueIn < 0) {
        return false;
    }
    advance(dueIn);
    return true;
}

std::vector<ManualRunLoop::TimerInfo> ManualRunLoop::pendingTimers() const {
    std::lock_guard lock(mutex_);
    std::vector<TimerInfo> out;
    for (const auto& [key, timer] : due_) {
        if (timer->valid.load()) {
            out.push_back({timer->intervalMs, timer->toleranceMs, timer->repeats, key.first - now_});
        }
    }
    return out;
}

std::size_t ManualRunLoop::pendingCount() const {
    return pendingTimers().size();
}

int64_t ManualRunLoop::nextDueInMs() const {
    std::lock_guard lock(mutex_);
    for (const auto& [key, timer] : due_) {
        if (timer->valid.load()) {
            return key.first - now_;
        }
    }
    return -1;
}

int64_t ManualRunLoop::elapsedMs() const {
    std::lock_guard lock(mutex_);
    return now_;
}

}  // namespace zqb::test
