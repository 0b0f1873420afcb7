#include "host/ThreadRunLoop.hpp"

#include <atomic>

namespace zqb::host {

struct ThreadRunLoop::Timer {
    int64_t intervalMs = 1;
    bool repeats = false;
    std::function<void()> block;
    std::atomic<bool> valid{true};
};

class ThreadRunLoop::Handle final : public TimerHandle {
public:
    explicit Handle(std::shared_ptr<Timer> timer) : timer_(std::move(timer)) {}
    void invalidate() override { timer_->valid.store(false); }
    bool isValid() const override { return timer_->valid.load(); }

private:
    std::shared_ptr<Timer> timer_;
};

ThreadRunLoop::ThreadRunLoop(std::string name) : name_(std::move(name)) {}

ThreadRunLoop::~ThreadRunLoop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        due_.clear();
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }
}

ThreadRunLoop::TimePoint ThreadRunLoop::deadlineAfter(TimePoint from, int64_t ms) {
    using Rep = std::chrono::steady_clock::duration::rep;
    const auto room = std::chrono::duration_cast<std::chrono::milliseconds>(TimePoint::max() - from).count();
    if (ms >= room) {
        return TimePoint::max();
    }
    return from + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                      std::chrono::milliseconds(static_cast<Rep>(ms)));
}

std::shared_ptr<TimerHandle> ThreadRunLoop::scheduleTimer(int64_t intervalMs, bool repeats,
                                                          int64_t /*toleranceMs*/,
                                                          std::function<void()> block) {
    auto timer = std::make_shared<Timer>();
    timer->intervalMs = intervalMs < 1 ? 1 : intervalMs;
    timer->repeats = repeats;
    timer->block = std::move(block);
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            due_.emplace(deadlineAfter(std::chrono::steady_clock::now(), timer->intervalMs), timer);
            if (!thread_.joinable()) {
                thread_ = std::thread([this] { run(); });
            }
        }
    }
    changed_.notify_all();
    return std::make_shared<Handle>(timer);
}

std::shared_ptr<TimerHandle> ThreadRunLoop::runAfter(int64_t delayMs, std::function<void()> block) {
    return scheduleTimer(delayMs, false, 0, std::move(block));
}

bool ThreadRunLoop::isCurrent() const {
    std::lock_guard lock(mutex_);
    return thread_.get_id() == std::this_thread::get_id();
}

void ThreadRunLoop::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (due_.empty()) {
            changed_.wait(lock);
            continue;
        }
        const auto next = due_.begin()->first;
        if (std::chrono::steady_clock::now() < next) {
            if (next == TimePoint::max()) {
                changed_.wait(lock);
            } else {
                changed_.wait_until(lock, next);
            }
            continue;
        }
        auto timer = due_.begin()->second;
        due_.erase(due_.begin());
        if (!timer->valid.load()) {
            continue;
        }
        if (timer->repeats) {
            // Firings missed while the process stood still are skipped, not caught up in a burst.
            const auto now = std::chrono::steady_clock::now();
            auto following = deadlineAfter(next, timer->intervalMs);
            if (following <= now) {
                following = deadlineAfter(now, timer->intervalMs);
            }
            due_.emplace(following, timer);
        } else {
            timer->valid.store(false);
        }
        lock.unlock();
        timer->block();
        lock.lock();
    }
}

}  // namespace zqb::host
