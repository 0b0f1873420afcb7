#include "host/Environment.hpp"
#include "support/ManualClock.hpp"
#include "support/ManualRunLoop.hpp"
#include "support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace zqb::test {
namespace {

TEST(ManualClock, KeepsWholeMillisecondsExactAndSaturates) {
    ManualClock clock(1'700'000'000'123);
    EXPECT_EQ(host::millisecondsSince1970(clock), 1'700'000'000'123);
    clock.advance(877);
    EXPECT_EQ(clock.milliseconds(), 1'700'000'001'000);
    EXPECT_EQ(host::millisecondsSince1970(clock), 1'700'000'001'000);
    clock.advance(-1'000);
    EXPECT_EQ(host::millisecondsSince1970(clock), 1'700'000'000'000);

    clock.setSecondsSince1970(-0.0015);
    EXPECT_EQ(clock.milliseconds(), -2);
    EXPECT_EQ(host::millisecondsSince1970(clock), -2);  // -1.5 ms rounds away from zero

    clock.setMilliseconds(std::numeric_limits<int64_t>::max());
    clock.advance(std::numeric_limits<int64_t>::max());
    EXPECT_GT(clock.secondsSince1970(), 9e12);
    EXPECT_EQ(host::millisecondsSince1970(clock), 9'223'372'036'854'776);
}

TEST(ManualRunLoop, FiresDueTimersInDeadlineOrderWithTheClockAtEachDeadline) {
    auto clock = std::make_shared<ManualClock>(1'000'000);
    ManualRunLoop loop(clock);
    std::vector<std::pair<std::string, int64_t>> fired;
    auto record = [&](std::string name) {
        return [&fired, clock, name] { fired.emplace_back(name, clock->milliseconds()); };
    };
    auto repeating = loop.scheduleTimer(300, true, 500, record("every300"));
    auto once = loop.runAfter(500, record("after500"));
    auto sameInstant = loop.runAfter(600, record("after600"));
    auto cancelled = loop.runAfter(100, record("cancelled"));
    cancelled->invalidate();

    EXPECT_EQ(loop.advance(299), 0u);
    EXPECT_EQ(clock->milliseconds(), 1'000'299);
    EXPECT_EQ(loop.advance(701), 5u);
    EXPECT_EQ(clock->milliseconds(), 1'001'000);
    // At equal deadlines the firing scheduled first goes first: the repeating timer scheduled its second
    // firing when it fired at 300, after "after600" was scheduled.
    const std::vector<std::pair<std::string, int64_t>> expected{{"every300", 1'000'300},
                                                                {"after500", 1'000'500},
                                                                {"after600", 1'000'600},
                                                                {"every300", 1'000'600},
                                                                {"every300", 1'000'900}};
    EXPECT_EQ(fired, expected);
    EXPECT_FALSE(once->isValid());
    EXPECT_TRUE(repeating->isValid());
    EXPECT_FALSE(cancelled->isValid());

    repeating->invalidate();
    EXPECT_EQ(loop.advance(10'000), 0u);
    EXPECT_EQ(loop.pendingCount(), 0u);
    EXPECT_FALSE(loop.advanceToNextTimer());
}

TEST(ManualRunLoop, TimersScheduledOrInvalidatedFromABlockTakeEffectWithinTheSameAdvance) {
    ManualRunLoop loop;
    std::vector<int64_t> fired;
    std::shared_ptr<host::TimerHandle> repeating;
    repeating = loop.scheduleTimer(100, true, 0, [&] {
        fired.push_back(loop.elapsedMs());
        if (fired.size() == 3) {
            repeating->invalidate();
            loop.runAfter(50, [&] { fired.push_back(-loop.elapsedMs()); });
        }
    });
    EXPECT_EQ(loop.advance(1'000), 4u);
    EXPECT_EQ(fired, (std::vector<int64_t>{100, 200, 300, -350}));
    EXPECT_EQ(loop.elapsedMs(), 1'000);
}

TEST(ManualRunLoop, ReportsPendingTimersAndStepsToTheNextOne) {
    ManualRunLoop loop;
    int fired = 0;
    auto a = loop.scheduleTimer(60'000, true, 500, [&] { ++fired; });
    auto b = loop.runAfter(0, [&] { ++fired; });  // below 1 ms counts as 1 ms
    auto pending = loop.pendingTimers();
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0].dueInMs, 1);
    EXPECT_FALSE(pending[0].repeats);
    EXPECT_EQ(pending[1].intervalMs, 60'000);
    EXPECT_EQ(pending[1].toleranceMs, 500);
    EXPECT_TRUE(pending[1].repeats);

    EXPECT_TRUE(loop.advanceToNextTimer());
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(loop.nextDueInMs(), 59'999);
    EXPECT_TRUE(loop.advanceToNextTimer());
    EXPECT_EQ(fired, 2);
    EXPECT_EQ(loop.elapsedMs(), 60'000);

    // A huge delay saturates instead of wrapping round into the past.
    auto far = loop.runAfter(std::numeric_limits<int64_t>::max(), [&] { fired += 100; });
    loop.advance(120'000);
    EXPECT_EQ(fired, 4);
    EXPECT_TRUE(far->isValid());
}

TEST(ManualRunLoop, AcceptsTimersFromOtherThreads) {
    ManualRunLoop loop;
    std::atomic<int> fired{0};
    std::vector<std::thread> threads;
    std::vector<std::shared_ptr<host::TimerHandle>> handles(8);
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] { handles[i] = loop.runAfter(10 * (i + 1), [&] { ++fired; }); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    handles[7]->invalidate();
    EXPECT_EQ(loop.advance(80), 7u);
    EXPECT_EQ(fired.load(), 7);
}

TEST(ScopedEnvironment, InstallsTheFakesAndRestoresTheDefaults) {
    auto& environment = host::Environment::shared();
    {
        ScopedEnvironment scoped(42'000);
        EXPECT_EQ(host::millisecondsSince1970(*environment.clock()), 42'000);
        EXPECT_EQ(environment.runLoop().get(), static_cast<host::RunLoopProtocol*>(&scoped.runLoop()));
        EXPECT_EQ(environment.delayedScheduler().get(),
                  static_cast<host::DelayedSchedulerProtocol*>(&scoped.runLoop()));
        EXPECT_EQ(environment.notificationCenter().get(), &scoped.notificationCenter());
        EXPECT_EQ(environment.application()->applicationState(), host::ApplicationState::active);
        EXPECT_EQ(environment.bundle()->info().identifier, ScopedEnvironment::kBundleIdentifier);
        EXPECT_EQ(environment.files()->applicationSupportDirectory(), scoped.directory());
        EXPECT_TRUE(std::filesystem::is_directory(scoped.directory()));

        int fired = 0;
        environment.runLoop()->scheduleTimer(1'000, true, 500, [&] { ++fired; });
        scoped.advance(3'500);
        EXPECT_EQ(fired, 3);
        EXPECT_EQ(host::millisecondsSince1970(*environment.clock()), 45'500);

        int notified = 0;
        auto registration = environment.notificationCenter()->addObserver(
            host::AppNotification::willTerminate, [&] { ++notified; });
        scoped.post(host::AppNotification::willTerminate);
        EXPECT_EQ(notified, 1);
    }
    EXPECT_EQ(dynamic_cast<ManualClock*>(environment.clock().get()), nullptr);
    EXPECT_EQ(dynamic_cast<ManualRunLoop*>(environment.runLoop().get()), nullptr);
    EXPECT_NE(environment.bundle()->info().identifier, ScopedEnvironment::kBundleIdentifier);
}

}  // namespace
}  // namespace zqb::test
