#pragma once

#include "foundation/BlockPool.hpp"
#include "foundation/ProcessExit.hpp"

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
#include <utility>

namespace zqb {

// A serial operation queue: one worker thread runs the added blocks one at a time, in the order added.
// Seven process-wide instances carry the library's work; tests may create their own.
//
// Once the process has begun to exit (`ProcessExit`), a worker finishes the operation under way and runs no
// other: operations still queued, and those added later, stay in the queue, and the waits below return.
// The income queue alone is let finish what the host had queued (see `finishAtExit`).
//
// Every public call of the library adds an operation to the income queue from the host's threads, so adding
// is kept free of locks: the operation goes into one allocation linked into a multi-producer list with one
// atomic exchange, and the worker is woken only when it sleeps. Pausing, cancelling and the waits are rare
// and take a lock of their own. The operation's memory comes from `BlockPool`, which the worker gives it
// back to, so the worker's frees do not contend with the callers' allocations; a worker whose queue has run
// empty lets the pool return what a drained backlog left.
class QueueManager {
public:
    using Operation = std::function<void()>;

    explicit QueueManager(std::string name);
    // Drops the operations still waiting, lets the running one finish and joins the worker. When the last
    // owner is released on the worker itself, the worker is detached instead of joined.
    ~QueueManager();

    QueueManager(const QueueManager&) = delete;
    QueueManager& operator=(const QueueManager&) = delete;

    // Any callable without arguments; an empty `std::function` (or null pointer) is ignored.
    void addOperation(std::nullptr_t) {}
    template <typename Callable>
    void addOperation(Callable&& operation) {
        using Held = std::decay_t<Callable>;
        if constexpr (std::is_constructible_v<bool, const Held&>) {
            if (!static_cast<bool>(operation)) {
                return;
            }
        }
        push(makeNode<Held>(std::forward<Callable>(operation)));
    }

    // The bytes an operation of this type takes while it waits: the block class it comes from.
    template <typename Callable>
    static constexpr std::size_t nodeBytes() {
        return sizeof(OperationNode<std::decay_t<Callable>>);
    }

    // Operations waiting plus the one running.
    std::size_t operationCount() const;
    bool isExecuting() const;

    // Drops the operations waiting; the running one finishes. Refused, with an error line, once the queue
    // refuses cancellation.
    void cancelAll();
    // For a queue whose operations may hold an object by address that an operation queued behind them
    // deletes: dropping them would delete it while one of them may still run. From here on `cancelAll` drops
    // nothing, and a destructor that runs inside one of the queue's own operations leaves the waiting ones
    // undestroyed (what they hold stays allocated) instead of deleting them under the running one.
    void refuseCancellation();
    // Operations already running finish; queued and later ones wait until `resume()`.
    void pause();
    void resume();
    bool isSuspended() const;

    // Blocks until no operation waits or runs. Called from an operation of this very queue, the wait could
    // never end (the caller is the operation it would wait for), so it returns false at once without waiting;
    // the caller then does inline what it would have waited for. False as well when the process exits first.
    bool waitUntilAllOperationsAreFinished();
    // As above, but also returns (false) once the queue is suspended and its running operation, if any, has
    // finished: a paused queue may stay paused for as long as the application stays in the background, and
    // a waiter must not hang on it. True only when the queue ran empty.
    bool waitUntilAllOperationsAreFinishedOrSuspended();
    // Adds `operation` and blocks until it has run, and with it every operation added before it, or has been
    // dropped (a cancellation); or until the queue is suspended with nothing running, or destroyed, or the
    // process exits. Operations added meanwhile are not waited for, also those that `operation` adds itself,
    // so steady work from other threads cannot keep the caller waiting: the wait is for this operation, not
    // for a count, which another thread's operation, added in between, could make include it. True when it
    // has gone (run or dropped) with the queue still standing. Where a wait could never end (an operation of
    // this queue) it is added and false returned at once.
    template <typename Callable>
    bool addOperationAndWaitOrSuspended(Callable&& operation) {
        auto gone = std::make_shared<std::atomic<bool>>(false);
        addOperation([operation = std::forward<Callable>(operation), token = GoneToken(gone)]() mutable {
            operation();
        });
        return waitUntilGoneOrSuspended(*gone);
    }
    // As above for an operation that does nothing: every operation added before this call has gone.
    bool waitUntilQueuedOperationsAreFinishedOrSuspended() {
        return addOperationAndWaitOrSuspended([] {});
    }

    // True on the worker thread of this queue, while it runs one of its operations.
    bool isCurrent() const;

    // Called by the exit, on the exiting thread: the worker runs the operations still queued, in order, as
    // long as the queue is not suspended and until it runs empty or `startBy` passes (the one under way then
    // finishes), then the operation set by `setLastAtExit`, and stands still. Returns once that is done, or
    // at `returnBy`. At once when nothing is queued, or when called from an operation of this queue.
    //
    // It takes no lock, not even a condition variable's internal one: the exit may come from a signal
    // handler that interrupted a thread of the host inside this very queue (adding an operation, waking the
    // worker, waiting), or from a forked child whose parent had another thread there at the fork. Either
    // would hold that lock for ever, and the exit with it. It only writes atomics, wakes the worker through
    // a futex and sleeps on one with the deadline. The worker may still meet such a lock in the finish; the
    // exit then goes on at `returnBy`.
    void finishAtExit(ProcessExit::TimePoint startBy, ProcessExit::TimePoint returnBy);
    // What ends the worker's finish at the exit, also one cut short: it makes what ran stay.
    void setLastAtExit(Operation operation);

    const std::string& name() const { return state_->name; }

    static QueueManager& incomeQueue();
    static QueueManager& networkSerialQueue();
    static QueueManager& configBackQueue();
    static QueueManager& configQueue();
    static QueueManager& anticheatQueue();
    static QueueManager& networkFlashQueue();
    static QueueManager& networkMessagingQueue();

private:
    // True where a wait for the queue could never end: on its worker thread, and in a child that `fork()`
    // made, which has no worker. The waits then return false at once.
    bool waitCannotEnd() const;

    // Raises its flag when the operation that holds it is destroyed, after it ran or when it was dropped:
    // before the queue counts the operation as finished and tells its waiters.
    class GoneToken {
    public:
        explicit GoneToken(std::shared_ptr<std::atomic<bool>> gone) : gone_(std::move(gone)) {}
        GoneToken(GoneToken&& other) noexcept : gone_(std::move(other.gone_)) {}
        GoneToken& operator=(GoneToken&&) = delete;
        ~GoneToken() {
            if (gone_) {
                gone_->store(true);
            }
        }

    private:
        std::shared_ptr<std::atomic<bool>> gone_;
    };
    bool waitUntilGoneOrSuspended(const std::atomic<bool>& gone);

    struct Node {
        virtual ~Node() = default;
        virtual void run() {}
        std::atomic<Node*> next{nullptr};
        uint8_t sizeClass = BlockPool::unpooled;
    };
    template <typename Held>
    struct OperationNode final : Node {
        template <typename Callable>
        explicit OperationNode(Callable&& callable) : held(std::forward<Callable>(callable)) {}
        void run() override { held(); }
        Held held;
    };

    // Shared with the worker so that a queue released from one of its own operations stays valid until
    // that operation has returned.
    struct State {
        State();
        ~State();

        // A node whose successor the producer has not linked yet, or an empty list: the consumer's view
        // when `pop` finds nothing.
        Node* pop();
        // Every waiting operation, linked through `next`, counted as finished.
        Node* takeAll();

        std::string name;
        std::thread::id workerId;
        // A child that `fork()` made has no worker: it stayed in this process.
        pid_t workerProcess = 0;

        // Fields are grouped by who writes them, each group on its own cache line, so that producers and
        // the worker do not invalidate each other's lines more than the hand-over itself needs.

        // Written by every producer. The list runs from `tail` (the next to run, behind a placeholder node)
        // to `head` (the last added); producers exchange `head`. `added` counts the operations ever added.
        alignas(64) std::atomic<Node*> head;
        std::atomic<uint64_t> added{0};

        // Read by every producer, written rarely.
        alignas(64) std::atomic<bool> suspended{false};
        std::atomic<bool> stopping{false};
        std::atomic<bool> uncancellable{false};
        // Raised by the worker once the process exits: it runs nothing more, but for the finish the exit
        // asks for (`finishStartBy`, written before `finishRequested` is raised). `finishDone` is raised once
        // the finish has ended. The exit reaches the worker through these atomics and `wake` alone.
        std::atomic<bool> exited{false};
        std::atomic<bool> finishRequested{false};
        ProcessExit::TimePoint finishStartBy{};
        std::atomic<uint32_t> finishDone{0};
        std::mutex lastAtExitMutex;
        Operation lastAtExit;
        // The worker's sleep: it raises `sleeping`, looks once more, and sleeps until `wake` changes. Its
        // waker takes no lock (see `wakeWorker`).
        std::atomic<bool> sleeping{false};
        std::atomic<uint32_t> wake{0};

        // Written by the worker. Only the holder of `popMutex` reads from `tail`. `finished` counts the
        // operations run or cancelled: the queue is strictly ordered, so everything added before the n-th
        // operation has gone once `finished` reaches n, and it is empty with nothing running when it equals
        // `added`. `executing` is true from before the worker looks for an operation until that operation
        // has run (or none was taken): a waiter that sees it false with the queue suspended knows nothing
        // more runs.
        alignas(64) Node* tail;
        Node stub;
        std::mutex popMutex;
        std::atomic<uint64_t> finished{0};
        std::atomic<bool> executing{false};

        // Waiters block on `changed` under `mutex`; the worker takes the lock to tell them only while some
        // are registered.
        alignas(64) std::mutex mutex;
        std::condition_variable changed;
        std::atomic<std::size_t> waiters{0};
    };

    template <typename Held, typename Callable>
    static Node* makeNode(Callable&& callable) {
        using Made = OperationNode<Held>;
        const uint8_t sizeClass =
            alignof(Made) <= BlockPool::alignment ? BlockPool::sizeClass(sizeof(Made)) : BlockPool::unpooled;
        if (sizeClass == BlockPool::unpooled) {
            return new Made(std::forward<Callable>(callable));
        }
        void* memory = BlockPool::allocate(sizeClass, sizeof(Made));
        Node* node;
        try {
            node = new (memory) Made(std::forward<Callable>(callable));
        } catch (...) {
            BlockPool::release(memory, sizeClass);
            throw;
        }
        node->sizeClass = sizeClass;
        return node;
    }
    static void destroyNode(Node* node) noexcept;

    void push(Node* node);
    static void run(const std::shared_ptr<State>& state);
    // The worker's end once the process exits: it waits for the end of the process, or of its queue, instead
    // of ending, as an ending thread's thread-local destructors would run while the exit destroys what they
    // use.
    static void standStill(State& state);
    // The worker's part of `finishAtExit`.
    static void finishQueued(State& state, ProcessExit::TimePoint startBy);
    // Runs one taken operation and counts it as finished.
    static void runTaken(State& state, Node* node);
    static void destroyChain(Node* node);
    static void wakeWorker(State& state);
    // True when an operation arrived within a short busy wait; false at once when the queue is stopping or
    // suspended.
    static bool awaitWork(const State& state);
    static void notifyWaiters(State& state);
    template <typename Predicate>
    static void waitFor(State& state, Predicate predicate);

    std::shared_ptr<State> state_;
    std::thread worker_;
};

// The queues the library's classes post to, handed to them through their constructors: the process-wide
// ones at start-up, a test's own where it wants to run a class's work by hand.
struct Queues {
    QueueManager& income;
    QueueManager& networkSerial;
    QueueManager& configBack;
    QueueManager& config;
    QueueManager& anticheat;
    QueueManager& networkFlash;
    QueueManager& networkMessaging;

    static Queues processWide();
};

// Queues a call of `member` (a member function or a callable taking the object) with `arguments`, copied
// now. The block holds the object weakly: gone by the time the block runs, nothing happens, so a queued
// block never keeps a released part of the graph alive.
template <typename Object, typename Member, typename... Arguments>
void postWeakly(QueueManager& queue, std::weak_ptr<Object> object, Member member, Arguments&&... arguments) {
    queue.addOperation([object = std::move(object), member = std::move(member),
                        held = std::make_tuple(std::forward<Arguments>(arguments)...)]() mutable {
        if (const auto self = object.lock()) {
            std::apply([&](auto&... values) { std::invoke(member, *self, std::move(values)...); }, held);
        }
    });
}

}  // namespace zqb
