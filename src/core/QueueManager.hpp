#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace zqb {

// A serial operation queue: one worker thread runs the added blocks one at a time, in the order added.
// Seven process-wide instances carry the library's work; tests may create their own.
class QueueManager {
public:
    using Operation = std::function<void()>;

    explicit QueueManager(std::string name);
    // Drops the operations still waiting, lets the running one finish and joins the worker. When the last
    // owner is released on the worker itself, the worker is detached instead of joined.
    ~QueueManager();

    QueueManager(const QueueManager&) = delete;
    QueueManager& operator=(const QueueManager&) = delete;

    void addOperation(Operation operation);

    // Operations waiting plus the one running.
    std::size_t operationCount() const;
    bool isExecuting() const;

    void cancelAll();
    // Operations already running finish; queued and later ones wait until `resume()`.
    void pause();
    void resume();
    bool isSuspended() const;

    // Blocks until no operation waits or runs. Called from an operation of this very queue, the wait could
    // never end (the caller is the operation it would wait for), so it returns false at once without waiting;
    // the caller then does inline what it would have waited for.
    bool waitUntilAllOperationsAreFinished();
    // As above, but also returns (false) once the queue is suspended and its running operation, if any, has
    // finished: a paused queue may stay paused for as long as the application stays in the background, and
    // a waiter must not hang on it. True only when the queue ran empty.
    bool waitUntilAllOperationsAreFinishedOrSuspended();
    // Blocks until every operation added before this call has run (operations added meanwhile are not
    // waited for, so steady work from other threads cannot keep the caller waiting), or until the queue is
    // suspended with nothing running, or destroyed. True only when those operations ran. From an operation
    // of this queue it returns false at once.
    bool waitUntilQueuedOperationsAreFinishedOrSuspended();

    // True on the worker thread of this queue, while it runs one of its operations.
    bool isCurrent() const;

    const std::string& name() const { return state_->name; }

    static QueueManager& incomeQueue();
    static QueueManager& networkSerialQueue();
    static QueueManager& configBackQueue();
    static QueueManager& configQueue();
    static QueueManager& anticheatQueue();
    static QueueManager& networkFlashQueue();
    static QueueManager& networkMessagingQueue();

private:
    // Shared with the worker so that a queue released from one of its own operations stays valid until
    // that operation has returned.
    struct State {
        std::string name;
        mutable std::mutex mutex;
        std::condition_variable workAvailable;
        std::condition_variable idle;
        std::deque<Operation> operations;
        bool executing = false;
        bool suspended = false;
        bool stopping = false;
        // Operations ever added, and those run or cancelled: the queue is strictly ordered, so everything
        // added before the n-th operation has gone once `finished` reaches n.
        uint64_t added = 0;
        uint64_t finished = 0;
        // Callers waiting for `finished` to reach a mark; told after every operation while there are some.
        std::size_t markWaiters = 0;
        std::condition_variable progress;
        std::thread::id workerId;
    };
    static void run(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state_;
    std::thread worker_;
};

}  // namespace zqb
