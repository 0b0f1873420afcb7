#include "core/QueueManager.hpp"

#include "core/Logger.hpp"

#include <exception>

namespace zqb {
namespace {
constexpr const char* kLabelPrefix = "com.zqb.analytics";
}

QueueManager::QueueManager(std::string name) : state_(std::make_shared<State>()) {
    state_->name = std::move(name);
    std::lock_guard lock(state_->mutex);
    worker_ = std::thread([state = state_] { run(state); });
    state_->workerId = worker_.get_id();
}

QueueManager::~QueueManager() {
    std::deque<Operation> dropped;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        dropped.swap(state_->operations);
    }
    state_->workAvailable.notify_all();
    state_->idle.notify_all();
    state_->progress.notify_all();
    if (worker_.get_id() == std::this_thread::get_id()) {
        worker_.detach();
    } else if (worker_.joinable()) {
        worker_.join();
    }
    // `dropped` is destroyed here, outside the lock: captured owners may run destructors.
}

void QueueManager::addOperation(Operation operation) {
    if (!operation) {
        return;
    }
    {
        std::lock_guard lock(state_->mutex);
        if (state_->stopping) {
            return;
        }
        state_->operations.push_back(std::move(operation));
        ++state_->added;
    }
    state_->workAvailable.notify_one();
}

std::size_t QueueManager::operationCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->operations.size() + (state_->executing ? 1 : 0);
}

bool QueueManager::isExecuting() const {
    std::lock_guard lock(state_->mutex);
    return state_->executing;
}

void QueueManager::cancelAll() {
    std::deque<Operation> dropped;
    {
        std::lock_guard lock(state_->mutex);
        dropped.swap(state_->operations);
        state_->finished += dropped.size();
        if (!state_->executing) {
            state_->idle.notify_all();
        }
        state_->progress.notify_all();
    }
}

void QueueManager::pause() {
    std::lock_guard lock(state_->mutex);
    state_->suspended = true;
    // Waiters that give up on a suspended queue look again.
    state_->idle.notify_all();
    state_->progress.notify_all();
}

void QueueManager::resume() {
    {
        std::lock_guard lock(state_->mutex);
        state_->suspended = false;
    }
    state_->workAvailable.notify_all();
}

bool QueueManager::isSuspended() const {
    std::lock_guard lock(state_->mutex);
    return state_->suspended;
}

bool QueueManager::waitUntilAllOperationsAreFinished() {
    if (isCurrent()) {
        return false;
    }
    // The waiter keeps the state alive: the queue may be destroyed (and wake it) while it waits.
    const std::shared_ptr<State> state = state_;
    std::unique_lock lock(state->mutex);
    state->idle.wait(lock,
                     [&] { return state->stopping || (state->operations.empty() && !state->executing); });
    return true;
}

bool QueueManager::waitUntilAllOperationsAreFinishedOrSuspended() {
    if (isCurrent()) {
        return false;
    }
    const std::shared_ptr<State> state = state_;
    std::unique_lock lock(state->mutex);
    state->idle.wait(lock, [&] {
        return state->stopping || (!state->executing && (state->operations.empty() || state->suspended));
    });
    return state->operations.empty() && !state->stopping;
}

bool QueueManager::waitUntilQueuedOperationsAreFinishedOrSuspended() {
    if (isCurrent()) {
        return false;
    }
    const std::shared_ptr<State> state = state_;
    std::unique_lock lock(state->mutex);
    const uint64_t mark = state->added;
    ++state->markWaiters;
    state->progress.wait(lock, [&] {
        return state->stopping || state->finished >= mark || (state->suspended && !state->executing);
    });
    --state->markWaiters;
    return state->finished >= mark && !state->stopping;
}

bool QueueManager::isCurrent() const {
    return std::this_thread::get_id() == state_->workerId;
}

void QueueManager::run(const std::shared_ptr<State>& state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->workAvailable.wait(
            lock, [&] { return state->stopping || (!state->suspended && !state->operations.empty()); });
        if (state->stopping) {
            return;
        }
        Operation operation = std::move(state->operations.front());
        state->operations.pop_front();
        state->executing = true;
        lock.unlock();
        try {
            operation();
        } catch (const std::exception& error) {
            Logger::writeLog(ZQBLogLevel::error,
                             "An operation of the queue " + state->name + " has failed: " + error.what());
        } catch (...) {
            Logger::writeLog(ZQBLogLevel::error, "An operation of the queue " + state->name + " has failed");
        }
        // Captures are released before the queue counts as idle, so a waiter sees their effects.
        operation = nullptr;
        lock.lock();
        state->executing = false;
        ++state->finished;
        if (state->operations.empty() || state->suspended) {
            state->idle.notify_all();
        }
        if (state->markWaiters > 0) {
            state->progress.notify_all();
        }
    }
}

namespace {
QueueManager& makeQueue(const char* suffix) {
    // Never destroyed: operations may still be queued while the process exits.
    return *new QueueManager(std::string(kLabelPrefix) + suffix);
}
}  // namespace

QueueManager& QueueManager::incomeQueue() {
    static QueueManager& queue = makeQueue(".incomeQueue");
    return queue;
}
QueueManager& QueueManager::networkSerialQueue() {
    static QueueManager& queue = makeQueue(".networkQueue");
    return queue;
}
QueueManager& QueueManager::configBackQueue() {
    static QueueManager& queue = makeQueue(".configBackQueue");
    return queue;
}
QueueManager& QueueManager::configQueue() {
    static QueueManager& queue = makeQueue(".configQueue");
    return queue;
}
QueueManager& QueueManager::anticheatQueue() {
    static QueueManager& queue = makeQueue(".anticheatQueue");
    return queue;
}
QueueManager& QueueManager::networkFlashQueue() {
    static QueueManager& queue = makeQueue(".networkFlashQueue");
    return queue;
}
QueueManager& QueueManager::networkMessagingQueue() {
    static QueueManager& queue = makeQueue(".networkMessagingQueue");
    return queue;
}

}  // namespace zqb
