#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "services/TimerService.hpp"
#include "support/LogCapture.hpp"
#include "support/ServiceTestBed.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <vector>

namespace zqb {
namespace {

class TimerServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        service->setOnAliveTimerTick(counter(alive));
        service->setOnCurrencyAccrualTimerTick(counter(currency));
        service->setOnRequestTimerTick(counter(request));
        service->setOnActivityTimerTick(counter(activity));
    }

    TimerService::Tick counter(std::atomic<int>& count) {
        return [this, &count] {
            if (!QueueManager::incomeQueue().isCurrent()) {
                offQueueTicks++;
            }
            count++;
        };
    }

    // Ticks are delivered on the income queue: let it run what the run loop posted.
    void advance(int64_t ms) {
        bed.env.advance(ms);
        QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
    }

    std::vector<int64_t> intervals() {
        std::vector<int64_t> result;
        for (const auto& timer : bed.env.runLoop().pendingTimers()) {
            result.push_back(timer.intervalMs);
        }
        std::sort(result.begin(), result.end());
        return result;
    }

    Config config(int64_t aliveMs, std::optional<int64_t> currencyMs, int64_t requestMs) {
        Config result;
        result.aliveTimeout = aliveMs;
        result.currencyAggregationTimeout = currencyMs;
        result.timeForRequest = requestMs;
        return result;
    }

    test::ServiceTestBed bed;
    std::shared_ptr<TimerService> service =
        std::make_shared<TimerService>(bed.state, QueueManager::incomeQueue(), host::Environment::shared());
    std::atomic<int> alive{0}, currency{0}, request{0}, activity{0}, offQueueTicks{0};
};

TEST_F(TimerServiceTest, IntervalsComeFromTheConfigurationInWholeSeconds) {
    bed.setConfig(config(300000, 61999, 120000));
    service->startTimers();

    EXPECT_EQ(intervals(), (std::vector<int64_t>{15000, 61000, 120000, 300000}));
    for (const auto& timer : bed.env.runLoop().pendingTimers()) {
        EXPECT_TRUE(timer.repeats);
        EXPECT_EQ(timer.toleranceMs, 500);
    }
}

TEST_F(TimerServiceTest, CurrencyAccrualPeriodDefaultsTo360Seconds) {
    bed.setConfig(config(300000, std::nullopt, 120000));
    service->startTimers();
    EXPECT_EQ(intervals(), (std::vector<int64_t>{15000, 120000, 300000, 360000}));
}

TEST_F(TimerServiceTest, PeriodsBelowOneSecondAreRaisedToOneSecondWithAWarning) {
    test::LogCapture logs;
    bed.setConfig(config(999, 0, -5));
    service->startTimers();

    EXPECT_EQ(intervals(), (std::vector<int64_t>{1000, 1000, 1000, 15000}));
    EXPECT_EQ(logs.count("is below one second"), 3u);
    EXPECT_TRUE(logs.contains("WARNING The alive timer period of 999 ms is below one second"));
    EXPECT_TRUE(logs.contains("The request timer period of -5 ms"));

    // Firing every second, not continuously.
    advance(1000);
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(request, 1);
}

TEST_F(TimerServiceTest, OneSecondAndMoreKeepTheirPeriodSilently) {
    test::LogCapture logs;
    bed.setConfig(config(1000, 1999, 2000));
    service->startTimers();
    EXPECT_EQ(intervals(), (std::vector<int64_t>{1000, 1000, 2000, 15000}));
    EXPECT_FALSE(logs.contains("below one second"));
}

TEST_F(TimerServiceTest, TicksCallTheirCallbacksOnTheIncomeQueue) {
    bed.setConfig(config(20000, 30000, 45000));
    service->startTimers();

    advance(15000);
    EXPECT_EQ(activity, 1);
    EXPECT_EQ(alive + currency + request, 0);

    advance(45000);  // at 60 s: activity 4, alive 3, currency 2, request 1
    EXPECT_EQ(activity, 4);
    EXPECT_EQ(alive, 3);
    EXPECT_EQ(currency, 2);
    EXPECT_EQ(request, 1);
    EXPECT_EQ(offQueueTicks, 0);
}

TEST_F(TimerServiceTest, SecondStartKeepsTheRunningTimers) {
    service->startTimers();
    advance(10000);
    service->startTimers();

    EXPECT_EQ(bed.env.runLoop().pendingCount(), 4u);
    advance(5000);  // the activity timer was not restarted by the second start
    EXPECT_EQ(activity, 1);
}

TEST_F(TimerServiceTest, StopRightAfterStartLeavesNoTimer) {
    service->startTimers();
    service->stopTimers();

    EXPECT_EQ(bed.env.runLoop().pendingCount(), 0u);
    advance(600000);
    EXPECT_EQ(alive + currency + request + activity, 0);
}

TEST_F(TimerServiceTest, TickOnItsWayWhenTheTimersStopIsDropped) {
    service->startTimers();
    QueueManager::incomeQueue().pause();
    bed.env.advance(15000);  // the activity tick is posted but cannot run yet
    service->stopTimers();
    QueueManager::incomeQueue().resume();
    QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();

    EXPECT_EQ(activity, 0);
}

TEST_F(TimerServiceTest, StopThenStartRunsFreshTimersWithTheNewConfiguration) {
    service->startTimers();
    advance(10000);
    service->stopTimers();
    bed.setConfig(config(5000, 6000, 7000));
    service->startTimers();

    EXPECT_EQ(intervals(), (std::vector<int64_t>{5000, 6000, 7000, 15000}));
    advance(5000);
    EXPECT_EQ(activity, 0);  // 15 s from the restart, not from the first start
    EXPECT_EQ(alive, 1);
}

TEST_F(TimerServiceTest, ResetRequestTimerPostponesOnlyTheRequestTick) {
    bed.setConfig(config(300000, 360000, 120000));
    service->startTimers();
    advance(100000);
    service->resetRequestTimer();

    advance(20000);  // 120 s after the start: the old request period would have fired here
    EXPECT_EQ(request, 0);
    EXPECT_EQ(activity, 8);
    advance(100000);  // 120 s after the reset
    EXPECT_EQ(request, 1);
    advance(80000);  // 300 s after the start: the alive timer kept its own schedule
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(bed.env.runLoop().pendingCount(), 4u);
}

TEST_F(TimerServiceTest, RequestTickOnItsWayWhenTheTimerIsResetIsDropped) {
    bed.setConfig(config(300000, 360000, 120000));
    service->startTimers();
    QueueManager::incomeQueue().pause();
    bed.env.advance(120000);
    service->resetRequestTimer();
    QueueManager::incomeQueue().resume();
    QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
    EXPECT_EQ(request, 0);
}

TEST_F(TimerServiceTest, TickWithoutCallbackDoesNothing) {
    auto bare =
        std::make_shared<TimerService>(bed.state, QueueManager::incomeQueue(), host::Environment::shared());
    bare->startTimers();
    advance(600000);
    bare->stopTimers();
    SUCCEED();
}

TEST_F(TimerServiceTest, ReleasedServiceLeavesNoTimerBehind) {
    service->startTimers();
    QueueManager::incomeQueue().pause();
    bed.env.advance(15000);  // a tick is queued and holds the service weakly
    service.reset();
    EXPECT_EQ(bed.env.runLoop().pendingCount(), 0u);
    QueueManager::incomeQueue().resume();
    QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
    EXPECT_EQ(activity, 0);
}

}  // namespace
}  // namespace zqb
