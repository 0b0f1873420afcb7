#include "host/ThreadRunLoop.hpp"
#include "support/LogCapture.hpp"
#include "support/Wait.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace zqb::host {
namespace {

using test::waitUntil;

// Schedules a one-shot marker and waits for it: every block due before it has then run to its end.
void drain(ThreadRunLoop& loop, int64_t afterMs) {
    std::atomic<bool> reached{false};
    loop.runAfter(afterMs, [&] { reached = true; });
    ASSERT_TRUE(waitUntil([&] { return reached.load(); }));
}

TEST(ThreadRunLoop, OneShotsFireOnceInDeadlineOrderOnTheLoopsThread) {
    ThreadRunLoop loop("test loop");
    std::mutex mutex;
    std::vector<int> order;
    std::atomic<int> onLoopThread{0};
    auto record = [&](int id) {
        return [&, id] {
            onLoopThread += loop.isCurrent() ? 1 : 0;
            std::lock_guard lock(mutex);
            order.push_back(id);
        };
    };
    // Deadlines far enough apart that a slow (sanitized, loaded) test thread cannot reorder them.
    auto late = loop.runAfter(1000, record(200));
    auto early = loop.runAfter(500, record(100));
    auto negative = loop.runAfter(-100, record(0));  // below 1 ms counts as 1 ms
    EXPECT_FALSE(loop.isCurrent());
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(mutex);
        return order.size() == 3;
    }));
    drain(loop, 10);
    std::lock_guard lock(mutex);
    EXPECT_EQ(order, (std::vector<int>{0, 100, 200}));
    EXPECT_EQ(onLoopThread.load(), 3);
    EXPECT_FALSE(late->isValid());
    EXPECT_FALSE(early->isValid());
}

TEST(ThreadRunLoop, RepeatingTimerFiresUntilInvalidated) {
    ThreadRunLoop loop("test loop");
    std::atomic<int> fired{0};
    auto timer = loop.scheduleTimer(2, true, 500, [&] { ++fired; });
    ASSERT_TRUE(waitUntil([&] { return fired.load() >= 3; }));
    EXPECT_TRUE(timer->isValid());
    timer->invalidate();
    EXPECT_FALSE(timer->isValid());
    const int atInvalidation = fired.load();
    drain(loop, 30);
    // A firing already under way when invalidate was called may still finish; none starts later.
    EXPECT_LE(fired.load(), atInvalidation + 1);
}

TEST(ThreadRunLoop, InvalidatedTimersNeverFireAndReleaseTheirBlocksAtOnce) {
    ThreadRunLoop loop("test loop");
    std::atomic<int> fired{0};
    auto captured = std::make_shared<int>(1);
    std::weak_ptr<int> watch = captured;
    auto farAway = loop.runAfter(3'600'000, [&fired, captured] { ++fired; });
    auto soon = loop.runAfter(100, [&fired] { fired += 100; });
    captured.reset();
    farAway->invalidate();
    soon->invalidate();
    farAway.reset();
    EXPECT_TRUE(watch.expired());
    drain(loop, 150);
    EXPECT_EQ(fired.load(), 0);
}

TEST(ThreadRunLoop, HugeDelaysSaturateWithoutOverflowAndHoldUpNothing) {
    ThreadRunLoop loop("test loop");
    std::atomic<int> fired{0};
    auto never = loop.runAfter(std::numeric_limits<int64_t>::max(), [&] { fired += 100; });
    auto neverRepeating =
        loop.scheduleTimer(std::numeric_limits<int64_t>::max() - 1, true, 0, [&] { fired += 100; });
    auto nearlyNever = loop.runAfter(std::numeric_limits<int64_t>::max() / 1'000'000, [&] { fired += 100; });
    auto soon = loop.scheduleTimer(1, false, 0, [&] { ++fired; });
    ASSERT_TRUE(waitUntil([&] { return fired.load() == 1; }));
    drain(loop, 5);
    EXPECT_EQ(fired.load(), 1);
    EXPECT_TRUE(never->isValid());
    EXPECT_TRUE(neverRepeating->isValid());
    EXPECT_TRUE(nearlyNever->isValid());
}

TEST(ThreadRunLoop, ReleasedFromItsOwnTimerBlock) {
    auto loop = std::make_shared<ThreadRunLoop>("self release");
    std::weak_ptr<ThreadRunLoop> watch = loop;
    std::atomic<bool> done{false};
    auto holder = std::make_shared<std::shared_ptr<ThreadRunLoop>>(loop);
    loop->runAfter(1, [holder, &done] {
        holder->reset();  // the last owner goes away on the loop's own thread
        done = true;
    });
    loop->runAfter(3'600'000, [] {});
    loop.reset();
    ASSERT_TRUE(waitUntil([&] { return done.load() && watch.expired(); }));
}

TEST(ThreadRunLoop, DestructionDropsPendingTimersAndTheirCaptures) {
    auto captured = std::make_shared<int>(1);
    std::weak_ptr<int> watch = captured;
    std::shared_ptr<TimerHandle> handle;
    {
        ThreadRunLoop loop("test loop");
        handle = loop.scheduleTimer(3'600'000, true, 0, [captured] {});
        captured.reset();
        drain(loop, 1);
    }
    EXPECT_FALSE(handle->isValid());
    handle.reset();
    EXPECT_TRUE(watch.expired());
    // A loop that never started its thread is destroyed as quietly.
    ThreadRunLoop idle("idle");
}

TEST(ThreadRunLoop, AThrowingBlockIsLoggedAndTheLoopGoesOn) {
    test::LogCapture capture(ZQBLogLevel::error);
    ThreadRunLoop loop("test loop");
    loop.runAfter(1, [] { throw std::runtime_error("tick failed"); });
    drain(loop, 5);
    EXPECT_EQ(capture.count("ERROR A timer of the test loop has failed: tick failed"), 1u);
}

}  // namespace
}  // namespace zqb::host
