#include "foundation/QueueManager.hpp"
#include "support/LogCapture.hpp"
#include "support/ProcessMemory.hpp"
#include "support/Wait.hpp"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZQB_TEST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZQB_TEST_SANITIZED 1
#endif

namespace zqb {
namespace {

using test::residentBytes;
using test::waitUntil;

// Blocks the queue's worker until released, so a test can fill the queue behind it.
// Holds the queue's worker inside an operation until opened. A queue counts as executing from the moment its
// worker goes for the next operation, before it has taken it: a test that must know the blocker is running
// waits for `entered()`.
class Gate {
public:
    void open() { promise_.set_value(); }
    QueueManager::Operation blocker() {
        return [future = future_, entered = entered_] {
            entered->store(true);
            future.wait();
        };
    }
    bool entered() const {
        return waitUntil([entered = entered_] { return entered->load(); });
    }

private:
    std::promise<void> promise_;
    std::shared_future<void> future_ = promise_.get_future().share();
    std::shared_ptr<std::atomic<bool>> entered_ = std::make_shared<std::atomic<bool>>(false);
};

TEST(QueueManager, ManyProducersKeepTheirOrderAndOperationsNeverOverlap) {
    QueueManager queue("test.producers");
    constexpr int kProducers = 8;
    constexpr int kPerProducer = 2'000;
    std::vector<std::vector<int>> seen(kProducers);  // touched only on the queue
    std::atomic<int> running{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> offQueue{0};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kPerProducer; ++i) {
                queue.addOperation([&, p, i] {
                    if (running.fetch_add(1) != 0) {
                        ++overlaps;
                    }
                    if (!queue.isCurrent()) {
                        ++offQueue;
                    }
                    seen[p].push_back(i);
                    running.fetch_sub(1);
                });
            }
        });
    }
    for (auto& producer : producers) {
        producer.join();
    }
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished());
    EXPECT_EQ(queue.operationCount(), 0u);
    EXPECT_FALSE(queue.isExecuting());
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(offQueue.load(), 0);
    for (int p = 0; p < kProducers; ++p) {
        ASSERT_EQ(seen[p].size(), static_cast<std::size_t>(kPerProducer));
        for (int i = 0; i < kPerProducer; ++i) {
            ASSERT_EQ(seen[p][i], i) << "producer " << p;
        }
    }
    EXPECT_FALSE(queue.isCurrent());
}

TEST(QueueManager, PausedQueueHoldsOperationsUntilResumedThenRunsThemInOrder) {
    QueueManager queue("test.pause");
    Gate gate;
    std::vector<int> order;
    queue.addOperation(gate.blocker());
    ASSERT_TRUE(gate.entered());
    queue.pause();
    EXPECT_TRUE(queue.isSuspended());
    for (int i = 0; i < 5; ++i) {
        queue.addOperation([&, i] { order.push_back(i); });
    }
    gate.open();  // the running operation finishes despite the pause
    ASSERT_TRUE(waitUntil([&] { return !queue.isExecuting(); }));
    EXPECT_EQ(queue.operationCount(), 5u);
    queue.resume();
    EXPECT_FALSE(queue.isSuspended());
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished());
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(QueueManager, WaitUntilEmptyWhileProducersRunSeesEveryEarlierOperationDone) {
    QueueManager queue("test.wait");
    constexpr int kProducers = 4;
    constexpr int kPerProducer = 3'000;
    std::atomic<int> done{0};
    std::atomic<int> producing{kProducers};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&] {
            for (int i = 0; i < kPerProducer; ++i) {
                queue.addOperation([&] { ++done; });
            }
            --producing;
        });
    }
    int rounds = 0;
    while (producing.load() > 0 || rounds == 0) {
        auto marker = std::make_shared<std::atomic<bool>>(false);
        queue.addOperation([marker] { marker->store(true); });
        ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished());
        // The wait returns whenever the queue drains, but never before what was added ahead of it has run.
        ASSERT_TRUE(marker->load());
        ++rounds;
    }
    for (auto& producer : producers) {
        producer.join();
    }
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished());
    EXPECT_EQ(done.load(), kProducers * kPerProducer);
    EXPECT_EQ(queue.operationCount(), 0u);
}

// Producers add without a lock while another thread pauses, resumes, cancels and waits: what runs keeps
// each producer's order, nothing starts while the queue is paused, every operation either runs or is
// cancelled (and then released), and a wait for what was queued returns only once that has gone.
TEST(QueueManager, ProducersRacingPauseCancelAndWaitsLoseNoOrderAndNoOperation) {
    QueueManager queue("test.stress");
    constexpr int kProducers = 8;
    constexpr int kPerProducer = 3'000;
    std::vector<std::vector<int>> seen(kProducers);  // touched only on the queue
    std::atomic<int> released{0};
    std::atomic<bool> paused{false};
    std::atomic<int> ranWhilePaused{0};
    std::atomic<int> producing{kProducers};
    struct Token {
        explicit Token(std::atomic<int>& count) : released(count) {}
        ~Token() { ++released; }
        std::atomic<int>& released;
    };
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kPerProducer; ++i) {
                queue.addOperation([&, p, i, token = std::make_shared<Token>(released)] {
                    if (paused.load()) {
                        ++ranWhilePaused;
                    }
                    seen[p].push_back(i);
                });
            }
            --producing;
        });
    }
    for (int round = 0; producing.load() > 0; ++round) {
        queue.pause();
        // The operation running when the queue paused may still finish.
        queue.waitUntilAllOperationsAreFinishedOrSuspended();
        paused.store(true);
        std::this_thread::yield();
        paused.store(false);
        if (round % 4 == 0) {
            queue.cancelAll();
        }
        queue.resume();
        auto marker = std::make_shared<std::atomic<bool>>(false);
        queue.addOperation([marker] { marker->store(true); });
        ASSERT_TRUE(queue.waitUntilQueuedOperationsAreFinishedOrSuspended());
        ASSERT_TRUE(marker->load());
    }
    for (auto& producer : producers) {
        producer.join();
    }
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished());
    EXPECT_EQ(queue.operationCount(), 0u);
    EXPECT_EQ(ranWhilePaused.load(), 0);
    EXPECT_EQ(released.load(), kProducers * kPerProducer);
    for (int p = 0; p < kProducers; ++p) {
        for (std::size_t k = 1; k < seen[p].size(); ++k) {
            ASSERT_LT(seen[p][k - 1], seen[p][k]) << "producer " << p;
        }
    }
}

TEST(QueueManager, WaitFromTheQueuesOwnOperationReturnsFalseInsteadOfDeadlocking) {
    QueueManager queue("test.self");
    QueueManager other("test.other");
    std::promise<std::pair<bool, bool>> result;
    queue.addOperation([&] {
        const bool own = queue.waitUntilAllOperationsAreFinished();
        const bool foreign = other.waitUntilAllOperationsAreFinished();
        result.set_value({own, foreign});
    });
    auto future = result.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const auto [own, foreign] = future.get();
    EXPECT_FALSE(own);
    EXPECT_TRUE(foreign);
}

TEST(QueueManager, WaitOrSuspendedGivesUpOnAPausedQueueButWaitsForItsRunningOperation) {
    QueueManager queue("test.waitOrSuspended");
    Gate gate;
    queue.addOperation(gate.blocker());
    std::atomic<bool> later{false};
    queue.addOperation([&] { later = true; });
    ASSERT_TRUE(gate.entered());
    queue.pause();

    // The blocker still runs: the waiter stays until it is done, then gives up on the paused rest.
    auto waiter =
        std::async(std::launch::async, [&] { return queue.waitUntilAllOperationsAreFinishedOrSuspended(); });
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    gate.open();
    EXPECT_FALSE(waiter.get());
    EXPECT_FALSE(later);

    // A waiter that starts on a running queue is released when the queue gets paused.
    queue.resume();
    ASSERT_TRUE(waitUntil([&] { return later.load(); }));
    Gate second;
    queue.addOperation(second.blocker());
    queue.addOperation([] {});
    auto secondWaiter =
        std::async(std::launch::async, [&] { return queue.waitUntilAllOperationsAreFinishedOrSuspended(); });
    ASSERT_TRUE(second.entered());
    queue.pause();
    second.open();
    EXPECT_FALSE(secondWaiter.get());
    EXPECT_EQ(queue.operationCount(), 1u);

    // Resumed, it waits for the queue to run empty and says so.
    queue.resume();
    EXPECT_TRUE(queue.waitUntilAllOperationsAreFinishedOrSuspended());
    EXPECT_EQ(queue.operationCount(), 0u);
}

// The wait of the stopping life-cycle calls: it covers what was queued before it, and neither work that
// other threads keep adding (the queue may never run empty) nor a paused queue can hold it for long.
TEST(QueueManager, AWaitForWhatIsQueuedEndsWhileOtherThreadsKeepTheQueueBusy) {
    QueueManager queue("test.waitQueued");
    // Each operation adds the next before it ends: the queue never runs empty.
    std::atomic<bool> going{true};
    std::function<void()> again = [&] {
        if (going.load()) {
            queue.addOperation(again);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    };
    queue.addOperation(again);
    for (int round = 0; round < 20; ++round) {
        auto marker = std::make_shared<std::atomic<bool>>(false);
        queue.addOperation([marker] { marker->store(true); });
        ASSERT_TRUE(queue.waitUntilQueuedOperationsAreFinishedOrSuspended());
        ASSERT_TRUE(marker->load());
    }
    EXPECT_GT(queue.operationCount(), 0u);

    // Paused, or emptied by a cancellation: the waiter goes.
    queue.pause();
    // Queued behind the pause, so that the wait cannot be satisfied by the operation running at the pause.
    queue.addOperation([] {});
    EXPECT_FALSE(queue.waitUntilQueuedOperationsAreFinishedOrSuspended());
    going = false;
    queue.resume();
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished());
    Gate gate;
    queue.addOperation(gate.blocker());
    queue.addOperation([] {});
    auto waiter = std::async(std::launch::async,
                             [&] { return queue.waitUntilQueuedOperationsAreFinishedOrSuspended(); });
    queue.cancelAll();
    gate.open();
    EXPECT_TRUE(waiter.get());
}

// The stopping calls wait for their own operation, not for a count of the queue: what that operation adds
// itself is not waited for, even when the worker has run it (and added more) before the caller began to wait.
TEST(QueueManager, AWaitForAnOperationDoesNotWaitForWhatItAdds) {
    QueueManager queue("test.waitOwn");
    for (int round = 0; round < 50; ++round) {
        std::promise<void> release;
        const auto held = release.get_future().share();
        auto waiter = std::async(std::launch::async, [&] {
            return queue.addOperationAndWaitOrSuspended(
                [&queue, held] { queue.addOperation([held] { held.wait(); }); });
        });
        const bool returned = waiter.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        release.set_value();
        ASSERT_TRUE(returned) << round;
        EXPECT_TRUE(waiter.get());
        ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished());
    }
}

TEST(QueueManager, CancelAllDropsWaitingOperationsAndReleasesTheirCaptures) {
    QueueManager queue("test.cancel");
    Gate gate;
    auto owner = std::make_shared<int>(7);
    std::weak_ptr<int> watch = owner;
    std::atomic<int> ran{0};
    queue.addOperation(gate.blocker());
    ASSERT_TRUE(gate.entered());
    for (int i = 0; i < 10; ++i) {
        queue.addOperation([&ran, owner] { ++ran; });
    }
    owner.reset();
    EXPECT_EQ(queue.operationCount(), 11u);
    queue.cancelAll();
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(queue.operationCount(), 1u);  // the running one is not interrupted
    gate.open();
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished());
    queue.addOperation([&] { ++ran; });  // still usable afterwards
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished());
    EXPECT_EQ(ran.load(), 1);
}

TEST(QueueManager, QueueReleasedFromInsideItsOwnOperation) {
    auto queue = std::make_shared<QueueManager>("test.release");
    std::atomic<bool> finished{false};
    std::atomic<int> afterwards{0};
    Gate gate;
    queue->addOperation([&, holder = std::make_shared<std::shared_ptr<QueueManager>>(queue)]() mutable {
        gate.blocker()();
        // Drops the last owner while running on the queue's own thread: no self-join, no use after free.
        holder->reset();
        finished = true;
    });
    queue->addOperation([&] { ++afterwards; });
    std::weak_ptr<QueueManager> watch = queue;
    queue.reset();
    EXPECT_FALSE(watch.expired());
    gate.open();
    ASSERT_TRUE(waitUntil([&] { return finished.load() && watch.expired(); }));
    EXPECT_EQ(afterwards.load(), 0);  // what waited behind was dropped with the queue
}

// A queue that refuses cancellation runs every operation it was given, or destroys none of them: cancelling
// drops nothing, and released by one of its own operations it leaves those waiting undestroyed, since what
// they hold may be in the running one's use.
TEST(QueueManager, AQueueThatRefusesCancellationDropsNoOperationUnderTheRunningOne) {
    test::LogCapture log;
    auto queue = std::make_shared<QueueManager>("test.uncancellable");
    queue->refuseCancellation();
    Gate gate;
    queue->addOperation(gate.blocker());
    ASSERT_TRUE(gate.entered());
    std::atomic<int> ran{0};
    queue->addOperation([&] { ++ran; });
    queue->cancelAll();
    EXPECT_EQ(queue->operationCount(), 2u);
    EXPECT_TRUE(log.contains("ERROR The queue test.uncancellable runs every operation it is given"));
    gate.open();
    ASSERT_TRUE(queue->waitUntilAllOperationsAreFinished());
    EXPECT_EQ(ran.load(), 1);

    auto token = std::make_shared<int>(1);
    const std::weak_ptr<int> watch = token;
    std::promise<void> released;
    Gate second;
    queue->addOperation([&, holder = std::make_shared<std::shared_ptr<QueueManager>>(queue)]() mutable {
        second.blocker()();
        holder->reset();
        released.set_value();
    });
    queue->addOperation([token = std::move(token)] {});
    queue.reset();
    second.open();
    released.get_future().wait();
    EXPECT_FALSE(watch.expired());
    EXPECT_TRUE(log.contains("ERROR The queue test.uncancellable was released by its own operation"));
}

TEST(QueueManager, DestructionFinishesTheRunningOperationAndDropsTheRest) {
    std::atomic<int> ran{0};
    Gate gate;
    std::thread opener;
    {
        QueueManager queue("test.destroy");
        queue.addOperation([&, blocker = gate.blocker()] {
            blocker();
            ++ran;
        });
        queue.addOperation([&] { ran += 100; });
        ASSERT_TRUE(gate.entered());
        opener = std::thread([&] {
            // The destructor has begun once it has dropped the waiting operation.
            EXPECT_TRUE(waitUntil([&] { return queue.operationCount() == 1; }));
            gate.open();
        });
    }  // joins the worker once the running operation has returned
    opener.join();
    EXPECT_EQ(ran.load(), 1);
}

TEST(QueueManager, AFailingOperationIsLoggedAndTheQueueGoesOn) {
    test::LogCapture capture(ZQBLogLevel::error);
    QueueManager queue("test.throw");
    std::atomic<bool> later{false};
    queue.addOperation([] { throw std::runtime_error("boom"); });
    queue.addOperation([] { throw 42; });
    queue.addOperation([&] { later = true; });
    queue.addOperation(nullptr);  // an empty operation is ignored
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished());
    EXPECT_TRUE(later.load());
    EXPECT_EQ(capture.count("ERROR An operation of the queue test.throw has failed"), 2u);
    EXPECT_TRUE(capture.contains("boom"));
}

// Operations queued faster than the worker runs them take memory from the pool; once the worker has run them
// all and its queue is empty, what they took goes back to the system, but for the pool's reserve.
TEST(QueueManager, TheMemoryOfADrainedBacklogIsReturned) {
    QueueManager queue("test.backlog");
    Gate gate;
    queue.addOperation(gate.blocker());
    ASSERT_TRUE(gate.entered());
    const std::size_t before = BlockPool::mappedBytes();
    constexpr int kOperations = 20'000;
    std::atomic<int64_t> sum{0};
    for (int index = 0; index < kOperations; ++index) {
        // Captures of a few hundred bytes, as a call with several parameters carries.
        std::array<int64_t, 40> payload{};
        payload[0] = index;
        queue.addOperation([payload, &sum] { sum += payload[0]; });
    }
    EXPECT_GE(BlockPool::mappedBytes(), before + kOperations * 320);
    gate.open();
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished());
    EXPECT_EQ(sum.load(), int64_t{kOperations} * (kOperations - 1) / 2);
    // The worker gives the memory back once it finds nothing more to run.
    EXPECT_TRUE(waitUntil(
        [&] { return BlockPool::mappedBytes() <= before + BlockPool::reserveBytes + 2 * 64 * 1024; }));
}

// The host's heap is the host's: a queue that drains a backlog leaves alone the free pages that the host's
// own thread left between its blocks (giving them back to the system would walk every heap of the process
// under its lock, the host's thread's included, and the host would fault them in again).
TEST(QueueManager, ADrainedBacklogLeavesTheFreePagesOfTheHostsHeapAlone) {
#if !defined(__GLIBC__) || defined(ZQB_TEST_SANITIZED)
    GTEST_SKIP() << "the sanitizers' allocators keep freed memory in quarantine";
#endif
    constexpr std::size_t kTemporary = 16 * 1024;
    constexpr int kBlocks = 5'000;
    constexpr double kMebibyte = 1024.0 * 1024.0;
    // About 80 MiB freed in blocks of 16 KiB, each between two of the host's blocks still in use.
    std::vector<std::unique_ptr<char[]>> kept;
    std::vector<std::unique_ptr<char[]>> temporary;
    for (int index = 0; index < kBlocks; ++index) {
        temporary.emplace_back(new char[kTemporary]);
        std::memset(temporary.back().get(), 1, kTemporary);
        kept.emplace_back(new char[64]);
    }
    temporary.clear();
    const double residentOnceFreed = residentBytes();

    QueueManager queue("test.heap");
    Gate gate;
    queue.addOperation(gate.blocker());
    ASSERT_TRUE(gate.entered());
    std::vector<std::unique_ptr<char[]>> made;
    made.reserve(kBlocks);
    for (int index = 0; index < kBlocks; ++index) {
        queue.addOperation([&] { made.emplace_back(new char[64]); });
    }
    gate.open();
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished());
    // Whatever the worker does once its queue has run empty, it does within moments.
    EXPECT_FALSE(waitUntil([&] { return residentBytes() < residentOnceFreed - 40 * kMebibyte; },
                           std::chrono::milliseconds(500)))
        << (residentOnceFreed - residentBytes()) / kMebibyte << " MiB of the host's heap given back";
}

TEST(QueueManager, TheSevenSharedQueuesAreDistinctAndNamed) {
    std::vector<QueueManager*> queues{
        &QueueManager::incomeQueue(),          &QueueManager::networkSerialQueue(),
        &QueueManager::configBackQueue(),      &QueueManager::configQueue(),
        &QueueManager::anticheatQueue(),       &QueueManager::networkFlashQueue(),
        &QueueManager::networkMessagingQueue()};
    const std::vector<std::string> suffixes{".incomeQueue",          ".networkQueue",   ".configBackQueue",
                                            ".configQueue",          ".anticheatQueue", ".networkFlashQueue",
                                            ".networkMessagingQueue"};
    std::set<QueueManager*> distinct(queues.begin(), queues.end());
    EXPECT_EQ(distinct.size(), 7u);
    for (std::size_t i = 0; i < queues.size(); ++i) {
        const std::string& name = queues[i]->name();
        EXPECT_TRUE(name.size() > suffixes[i].size() &&
                    name.compare(name.size() - suffixes[i].size(), suffixes[i].size(), suffixes[i]) == 0)
            << name;
    }
    EXPECT_EQ(&QueueManager::incomeQueue(), queues[0]);
    // The income queue is reached by operations of the others without blocking them.
    std::promise<bool> onIncome;
    QueueManager::configQueue().addOperation([&] {
        QueueManager::incomeQueue().addOperation(
            [&] { onIncome.set_value(QueueManager::incomeQueue().isCurrent()); });
    });
    auto future = onIncome.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(future.get());
}

}  // namespace
}  // namespace zqb
