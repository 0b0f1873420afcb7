#pragma once

#include <condition_variable>
#include <cstddef>
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
        std::thread::id workerId;
    };
    static void run(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state_;
    std::thread worker_;
};

}  // namespace zqb
