#include "host/ThreadRunLoop.hpp"

#include "foundation/Logger.hpp"
#include "foundation/ProcessExit.hpp"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <vector>

namespace zqb::host {

struct ThreadRunLoop::Timer {
    int64_t intervalMs = 1;
    bool repeats = false;
    std::function<void()> block;
    std::atomic<bool> valid{true};
    // Where the timer waits in `State::due`, guarded by the state's mutex.
    bool scheduled = false;
    TimePoint deadline{};
};

struct ThreadRunLoop::State {
    explicit State(std::string name) : name(std::move(name)) {}

    // Takes the timer out of the schedule; the caller holds `mutex`. The entry is handed back so that it is
    // released after the lock: the block's captures may use the run loop in their destructors.
    std::shared_ptr<Timer> unschedule(const std::shared_ptr<Timer>& timer) {
        if (!timer->scheduled) {
            return nullptr;
        }
        auto [first, last] = due.equal_range(timer->deadline);
        for (auto it = first; it != last; ++it) {
            if (it->second == timer) {
                auto entry = std::move(it->second);
                due.erase(it);
                timer->scheduled = false;
                return entry;
            }
        }
        return nullptr;
    }

    void schedule(const std::shared_ptr<Timer>& timer, TimePoint deadline) {
        timer->deadline = deadline;
        timer->scheduled = true;
        due.emplace(deadline, timer);
    }

    const std::string name;
    std::mutex mutex;
    std::condition_variable changed;
    std::multimap<TimePoint, std::shared_ptr<Timer>> due;
    bool stopping = false;
    bool started = false;
    std::thread::id threadId;
};

class ThreadRunLoop::Handle final : public TimerHandle {
public:
    Handle(std::shared_ptr<Timer> timer, std::weak_ptr<State> state)
        : timer_(std::move(timer)), state_(std::move(state)) {}

    void invalidate() override {
        timer_->valid.store(false);
        // An invalidated timer leaves the schedule at once, so a timer with a far deadline does not keep its
        // block (and what the block captured) until that deadline.
        if (auto state = state_.lock()) {
            std::shared_ptr<Timer> removed;
            {
                std::lock_guard lock(state->mutex);
                removed = state->unschedule(timer_);
            }
            state->changed.notify_all();
        }
    }
    bool isValid() const override { return timer_->valid.load(); }

private:
    std::shared_ptr<Timer> timer_;
    std::weak_ptr<State> state_;
};

ThreadRunLoop::ThreadRunLoop(std::string name) : state_(std::make_shared<State>(std::move(name))) {}

ThreadRunLoop::~ThreadRunLoop() {
    std::multimap<TimePoint, std::shared_ptr<Timer>> dropped;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        dropped.swap(state_->due);
        for (auto& [deadline, timer] : dropped) {
            timer->scheduled = false;
            timer->valid.store(false);
        }
    }
    state_->changed.notify_all();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }
    // `dropped` is released here, outside the lock.
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
        std::lock_guard lock(state_->mutex);
        if (state_->stopping) {
            timer->valid.store(false);
        } else {
            state_->schedule(timer, deadlineAfter(std::chrono::steady_clock::now(), timer->intervalMs));
            if (!state_->started) {
                thread_ = std::thread([state = state_] { run(state); });
                state_->threadId = thread_.get_id();
                state_->started = true;
            }
        }
    }
    state_->changed.notify_all();
    return std::make_shared<Handle>(timer, state_);
}

std::shared_ptr<TimerHandle> ThreadRunLoop::runAfter(int64_t delayMs, std::function<void()> block) {
    return scheduleTimer(delayMs, false, 0, std::move(block));
}

bool ThreadRunLoop::isCurrent() const {
    std::lock_guard lock(state_->mutex);
    return state_->started && state_->threadId == std::this_thread::get_id();
}

void ThreadRunLoop::run(const std::shared_ptr<State>& state) {
    // Held while the thread handles a due timer, let go while it waits: the exit of the process waits for
    // the block under way, and no other one runs.
    ProcessExit::Activity activity;
    std::unique_lock lock(state->mutex);
    while (!state->stopping) {
        activity.release();
        if (state->due.empty()) {
            state->changed.wait(lock);
            continue;
        }
        const auto next = state->due.begin()->first;
        if (std::chrono::steady_clock::now() < next) {
            if (next == TimePoint::max()) {
                state->changed.wait(lock);
            } else {
                state->changed.wait_until(lock, next);
            }
            continue;
        }
        if (!activity.hold()) {
            // The thread waits for the end of the process (or of the run loop) instead of ending: an ending
            // thread's thread-local destructors would run while the exit destroys what they use.
            state->changed.wait(lock, [&] { return state->stopping; });
            return;
        }
        std::shared_ptr<Timer> timer = state->due.begin()->second;
        state->due.erase(state->due.begin());
        timer->scheduled = false;
        if (!timer->valid.load()) {
            lock.unlock();
            timer.reset();
            lock.lock();
            continue;
        }
        if (timer->repeats) {
            // Firings missed while the process stood still are skipped, not caught up in a burst.
            const auto now = std::chrono::steady_clock::now();
            auto following = deadlineAfter(next, timer->intervalMs);
            if (following <= now) {
                following = deadlineAfter(now, timer->intervalMs);
            }
            state->schedule(timer, following);
        } else {
            timer->valid.store(false);
        }
        lock.unlock();
        try {
            timer->block();
        } catch (const std::exception& error) {
            // An exception leaving the thread would end the host process.
            Logger::writeLog(ZQBLogLevel::error,
                             "A timer of the " + state->name + " has failed: " + error.what());
        } catch (...) {
            Logger::writeLog(ZQBLogLevel::error, "A timer of the " + state->name + " has failed");
        }
        // Released before the lock is taken again: the last reference may destroy the block's captures.
        timer.reset();
        lock.lock();
    }
}

}  // namespace zqb::host
