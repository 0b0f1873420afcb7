#include "foundation/QueueManager.hpp"

#include "foundation/Logger.hpp"
#include "foundation/ProcessExit.hpp"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <ctime>
#include <exception>

namespace zqb {
namespace {
constexpr const char* kLabelPrefix = "com.zqb.analytics";
constexpr auto kBusyWait = std::chrono::microseconds(50);
constexpr int kUnlinkedSpinRounds = 64;

inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// The worker sleeps, and the exit waits, on futexes rather than condition variables: waking a sleeper takes
// no lock (a condition variable's signal takes one inside the C library), so the exit can wake the worker
// whatever thread it interrupted, and adding an operation to a sleeping queue costs one system call. Not
// `std::atomic::wait`, whose spinning phase yields the processor: on a busy machine each yield may keep the
// worker away for a whole time slice after work has arrived.
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));

uint32_t* futexWord(std::atomic<uint32_t>& word) {
    return reinterpret_cast<uint32_t*>(&word);
}

// Returns once `word` may no longer hold `seen` (also spuriously), or at `until` when one is given.
void futexWait(std::atomic<uint32_t>& word, uint32_t seen, const timespec* until = nullptr) {
    // An absolute time on the monotonic clock, which `steady_clock` reads.
    ::syscall(SYS_futex, futexWord(word), until != nullptr ? FUTEX_WAIT_BITSET_PRIVATE : FUTEX_WAIT_PRIVATE,
              seen, until, nullptr, until != nullptr ? FUTEX_BITSET_MATCH_ANY : 0);
}

void futexWake(std::atomic<uint32_t>& word) {
    ::syscall(SYS_futex, futexWord(word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

timespec monotonicTime(ProcessExit::TimePoint time) {
    const auto since = time.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    return timespec{
        static_cast<time_t>(seconds.count()),
        static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count())};
}
}  // namespace

QueueManager::State::State() : head(&stub), tail(&stub) {}

QueueManager::State::~State() {
    // Operations added while the queue was going away.
    destroyChain(takeAll());
}

QueueManager::Node* QueueManager::State::pop() {
    Node* first = tail;
    Node* next = first->next.load(std::memory_order_acquire);
    if (first == &stub) {
        if (next == nullptr) {
            return nullptr;
        }
        tail = next;
        first = next;
        next = next->next.load(std::memory_order_acquire);
    }
    if (next != nullptr) {
        tail = next;
        return first;
    }
    if (first != head.load(std::memory_order_acquire)) {
        // A producer has taken its place in the list and not linked it yet.
        return nullptr;
    }
    // `first` is the last node: the placeholder goes behind it so that it can leave the list.
    stub.next.store(nullptr, std::memory_order_relaxed);
    Node* previous = head.exchange(&stub, std::memory_order_acq_rel);
    previous->next.store(&stub, std::memory_order_release);
    next = first->next.load(std::memory_order_acquire);
    if (next != nullptr) {
        tail = next;
        return first;
    }
    return nullptr;
}

QueueManager::Node* QueueManager::State::takeAll() {
    Node* taken = nullptr;
    uint64_t count = 0;
    {
        std::lock_guard lock(popMutex);
        while (Node* node = pop()) {
            node->next.store(taken, std::memory_order_relaxed);
            taken = node;
            ++count;
        }
    }
    finished.fetch_add(count);
    return taken;
}

void QueueManager::destroyNode(Node* node) noexcept {
    const uint8_t sizeClass = node->sizeClass;
    if (sizeClass == BlockPool::unpooled) {
        delete node;
        return;
    }
    node->~Node();
    BlockPool::release(node, sizeClass);
}

void QueueManager::destroyChain(Node* node) {
    while (node != nullptr) {
        Node* next = node->next.load(std::memory_order_relaxed);
        destroyNode(node);
        node = next;
    }
}

QueueManager::QueueManager(std::string name) : state_(std::make_shared<State>()) {
    state_->name = std::move(name);
    worker_ = std::thread([state = state_] { run(state); });
    state_->workerId = worker_.get_id();
    state_->workerProcess = ::getpid();
}

QueueManager::~QueueManager() {
    State& state = *state_;
    state.stopping.store(true);
    Node* dropped = state.takeAll();
    wakeWorker(state);
    { std::lock_guard lock(state.mutex); }
    state.changed.notify_all();
    if (worker_.get_id() == std::this_thread::get_id()) {
        worker_.detach();
        if (dropped != nullptr && state.uncancellable.load()) {
            // The operation under way is the caller: what the dropped ones would delete may be in its use.
            Logger::writeLog(ZQBLogLevel::error, "The queue " + state.name +
                                                     " was released by its own operation: the operations "
                                                     "still waiting are left undestroyed");
            return;
        }
    } else if (worker_.joinable()) {
        worker_.join();
    }
    // Dropped outside every lock, once the running operation has returned: captured owners may run
    // destructors.
    destroyChain(dropped);
}

void QueueManager::push(Node* node) {
    State& state = *state_;
    if (state.stopping.load(std::memory_order_relaxed)) {
        destroyNode(node);
        return;
    }
    // Counted before it is linked: a waiter's mark may include it a moment early, never leave it out.
    state.added.fetch_add(1);
    Node* previous = state.head.exchange(node, std::memory_order_acq_rel);
    previous->next.store(node, std::memory_order_release);
    // Pairs with the worker raising `sleeping` before it looks at `added` one last time.
    if (state.sleeping.load()) {
        wakeWorker(state);
    }
}

void QueueManager::wakeWorker(State& state) {
    // The worker between its last look and its sleep cannot miss the change: the futex sleeps only while the
    // word still holds what the worker saw.
    state.wake.fetch_add(1);
    futexWake(state.wake);
}

void QueueManager::notifyWaiters(State& state) {
    if (state.waiters.load() == 0) {
        return;
    }
    // Taken so that a waiter between its test and its sleep cannot miss the news.
    { std::lock_guard lock(state.mutex); }
    state.changed.notify_all();
}

template <typename Predicate>
void QueueManager::waitFor(State& state, Predicate predicate) {
    std::unique_lock lock(state.mutex);
    state.waiters.fetch_add(1);
    state.changed.wait(lock, predicate);
    state.waiters.fetch_sub(1);
}

std::size_t QueueManager::operationCount() const {
    const uint64_t finished = state_->finished.load();
    const uint64_t added = state_->added.load();
    return added > finished ? static_cast<std::size_t>(added - finished) : 0;
}

bool QueueManager::isExecuting() const {
    return state_->executing.load() && operationCount() > 0;
}

void QueueManager::cancelAll() {
    if (state_->uncancellable.load()) {
        Logger::writeLog(
            ZQBLogLevel::error,
            "The queue " + state_->name + " runs every operation it is given: cancelling them is refused");
        return;
    }
    destroyChain(state_->takeAll());
    notifyWaiters(*state_);
}

void QueueManager::refuseCancellation() {
    state_->uncancellable.store(true);
}

void QueueManager::pause() {
    state_->suspended.store(true);
    // Waiters that give up on a suspended queue look again; the worker notices at its next operation.
    { std::lock_guard lock(state_->mutex); }
    state_->changed.notify_all();
}

void QueueManager::resume() {
    state_->suspended.store(false);
    wakeWorker(*state_);
}

bool QueueManager::isSuspended() const {
    return state_->suspended.load();
}

bool QueueManager::waitUntilAllOperationsAreFinished() {
    if (waitCannotEnd()) {
        return false;
    }
    // The waiter keeps the state alive: the queue may be destroyed (and wake it) while it waits.
    const std::shared_ptr<State> state = state_;
    bool empty = false;
    waitFor(*state, [&] {
        empty = state->finished.load() >= state->added.load();
        return state->stopping.load() || empty || state->exited.load();
    });
    return empty || state->stopping.load();
}

bool QueueManager::waitUntilAllOperationsAreFinishedOrSuspended() {
    if (waitCannotEnd()) {
        return false;
    }
    const std::shared_ptr<State> state = state_;
    bool empty = false;
    waitFor(*state, [&] {
        empty = state->finished.load() >= state->added.load();
        return state->stopping.load() || empty || state->exited.load() ||
               (state->suspended.load() && !state->executing.load());
    });
    return empty && !state->stopping.load();
}

bool QueueManager::waitUntilGoneOrSuspended(const std::atomic<bool>& gone) {
    if (waitCannotEnd()) {
        return false;
    }
    const std::shared_ptr<State> state = state_;
    // `gone` is raised before the operation counts as finished and the waiters are told, and read after
    // this waiter has registered: one of the two sees the other.
    waitFor(*state, [&] {
        return gone.load() || state->stopping.load() || state->exited.load() ||
               (state->suspended.load() && !state->executing.load());
    });
    return gone.load() && !state->stopping.load();
}

bool QueueManager::isCurrent() const {
    return std::this_thread::get_id() == state_->workerId;
}

bool QueueManager::waitCannotEnd() const {
    return isCurrent() || state_->workerProcess != ::getpid();
}

void QueueManager::run(const std::shared_ptr<State>& state) {
    // Held while the worker takes and runs operations, let go before it sleeps: the exit of the process
    // waits for the operation under way, and no other one starts.
    ProcessExit::Activity activity;
    int unlinkedRounds = 0;
    for (;;) {
        // Raised before `suspended` is read: a waiter that finds the queue suspended and this flag down
        // knows that no operation is taken any more.
        state->executing.store(true);
        if (!activity.hold()) {
            standStill(*state);
            return;
        }
        Node* node = nullptr;
        if (!state->suspended.load()) {
            std::lock_guard lock(state->popMutex);
            if (state->stopping.load()) {
                return;
            }
            node = state->pop();
        }
        if (node != nullptr) {
            unlinkedRounds = 0;
            runTaken(*state, node);
            continue;
        }
        state->executing.store(false);
        notifyWaiters(*state);
        if (awaitWork(*state)) {
            continue;
        }
        // The queue has run empty: the blocks of the operations it ran go back to the pool, and a drained
        // backlog's slabs to the system. The general heap is the host's: it is never trimmed from here.
        BlockPool::settle();
        const uint32_t seen = state->wake.load();
        state->sleeping.store(true);
        const bool stopping = state->stopping.load();
        const bool pending = !state->suspended.load() && state->finished.load() < state->added.load();
        if (stopping) {
            return;
        }
        if (pending) {
            // Either taken by a producer that has not linked it yet, or a cancellation under way: it takes
            // a moment, not a sleep. A yield on a busy machine gives the processor away for a whole time
            // slice (milliseconds), so the worker spins first and yields only when the producer seems to
            // have been preempted in between.
            state->sleeping.store(false);
            if (++unlinkedRounds < kUnlinkedSpinRounds) {
                for (int spin = 0; spin < 32; ++spin) {
                    cpuRelax();
                }
            } else {
                unlinkedRounds = 0;
                std::this_thread::yield();
            }
            continue;
        }
        activity.release();
        while (state->wake.load() == seen) {
            futexWait(state->wake, seen);
        }
        state->sleeping.store(false);
    }
}

void QueueManager::runTaken(State& state, Node* node) {
    try {
        node->run();
    } catch (const std::exception& error) {
        Logger::writeLog(ZQBLogLevel::error,
                         "An operation of the queue " + state.name + " has failed: " + error.what());
    } catch (...) {
        Logger::writeLog(ZQBLogLevel::error, "An operation of the queue " + state.name + " has failed");
    }
    // Captures are released before the operation counts as finished, so a waiter sees their effects.
    destroyNode(node);
    state.finished.fetch_add(1);
    notifyWaiters(state);
}

void QueueManager::standStill(State& state) {
    state.exited.store(true);
    state.executing.store(false);
    notifyWaiters(state);
    const auto sleepUntil = [&](auto condition) {
        for (;;) {
            const uint32_t seen = state.wake.load();
            if (condition()) {
                return;
            }
            futexWait(state.wake, seen);
        }
    };
    sleepUntil([&] { return state.stopping.load() || state.finishRequested.load(); });
    if (!state.stopping.load()) {
        finishQueued(state, state.finishStartBy);
        sleepUntil([&] { return state.stopping.load(); });
    }
}

void QueueManager::finishQueued(State& state, ProcessExit::TimePoint startBy) {
    // Without a lock of the host's, a log line or a handler: no activity starts any more, so none of the
    // host's code runs, and the queues that reach the network stand still.
    while (!state.stopping.load() && !state.suspended.load() && std::chrono::steady_clock::now() < startBy) {
        Node* node = nullptr;
        {
            std::lock_guard lock(state.popMutex);
            node = state.pop();
        }
        if (node != nullptr) {
            runTaken(state, node);
            continue;
        }
        if (state.finished.load() >= state.added.load()) {
            break;
        }
        // A producer on another thread between taking its place and linking it.
        std::this_thread::yield();
    }
    Operation last;
    {
        std::lock_guard lock(state.lastAtExitMutex);
        last = state.lastAtExit;
    }
    if (last) {
        try {
            last();
        } catch (...) {
        }
    }
    state.finishDone.store(1);
    futexWake(state.finishDone);
}

void QueueManager::finishAtExit(ProcessExit::TimePoint startBy, ProcessExit::TimePoint returnBy) {
    State& state = *state_;
    // Nothing queued, nothing running: the exit is not held up.
    if (isCurrent() || state.finished.load() >= state.added.load()) {
        return;
    }
    // Asked once: the exit handler runs its finish once.
    state.finishStartBy = startBy;
    state.finishRequested.store(true);
    // A sleeping worker looks again, finds the exit begun and stands still, where it sees the request.
    wakeWorker(state);
    const timespec until = monotonicTime(returnBy);
    while (state.finishDone.load() == 0 && std::chrono::steady_clock::now() < returnBy) {
        futexWait(state.finishDone, 0, &until);
    }
}

void QueueManager::setLastAtExit(Operation operation) {
    std::lock_guard lock(state_->lastAtExitMutex);
    state_->lastAtExit.swap(operation);
}

bool QueueManager::awaitWork(const State& state) {
    // Waking a sleeping worker costs the adding thread a system call; under steady work from the host's
    // threads the next operation is usually a few microseconds away, so the worker looks for it a while
    // before it sleeps.
    // An operation counted but not linked yet is the producer's moment, not new work: left to the caller.
    if (state.finished.load(std::memory_order_relaxed) < state.added.load(std::memory_order_relaxed)) {
        return false;
    }
    const auto until = std::chrono::steady_clock::now() + kBusyWait;
    for (;;) {
        for (int spin = 0; spin < 64; ++spin) {
            if (state.stopping.load(std::memory_order_relaxed) ||
                state.suspended.load(std::memory_order_relaxed)) {
                return false;
            }
            if (state.finished.load(std::memory_order_relaxed) <
                state.added.load(std::memory_order_relaxed)) {
                return true;
            }
            cpuRelax();
        }
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
    }
}

namespace {
QueueManager& makeQueue(const char* suffix) {
    // Made at the host's first use of the library: from here on its exit is noticed.
    ProcessExit::watch();
    // Never destroyed: operations may still be queued while the process exits.
    return *new QueueManager(std::string(kLabelPrefix) + suffix);
}
}  // namespace

QueueManager& QueueManager::incomeQueue() {
    // Reached by the exit through this pointer, not through the static below: the exit may interrupt the
    // thread that is making it, and must not wait for its guard.
    static constinit std::atomic<QueueManager*> finishing{nullptr};
    static QueueManager& queue = []() -> QueueManager& {
        QueueManager& made = makeQueue(".incomeQueue");
        finishing.store(&made);
        // What the host reported just before it left is lost unless it runs.
        ProcessExit::letFinish([](ProcessExit::TimePoint startBy, ProcessExit::TimePoint returnBy) {
            if (QueueManager* income = finishing.load()) {
                income->finishAtExit(startBy, returnBy);
            }
        });
        return made;
    }();
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

Queues Queues::processWide() {
    return Queues{QueueManager::incomeQueue(),          QueueManager::networkSerialQueue(),
                  QueueManager::configBackQueue(),      QueueManager::configQueue(),
                  QueueManager::anticheatQueue(),       QueueManager::networkFlashQueue(),
                  QueueManager::networkMessagingQueue()};
}

}  // namespace zqb
