#include "core/ApplicationLifeCycle.hpp"
#include "core/LifeCycleRepository.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/Wait.hpp"

#include <ZQBAnalytics/ZQBHost.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zqb {
namespace {

using host::ApplicationState;
using host::AppNotification;
using test::waitUntil;

// Records each transition with whether it ran on the income queue.
class RecordingListener final : public LifeCycleProtocol {
public:
    void goActive() override { record("active"); }
    void goInactive() override { record("inactive"); }
    void goBackground() override { record("background"); }
    void goTerminate() override { record("terminate"); }

    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    int offQueue() const { return offQueue_.load(); }

private:
    void record(const std::string& name) {
        if (!QueueManager::incomeQueue().isCurrent()) {
            ++offQueue_;
        }
        std::lock_guard lock(mutex_);
        calls_.push_back(name);
    }

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::atomic<int> offQueue_{0};
};

// Holds the income queue's worker until opened.
class IncomeGate {
public:
    IncomeGate() {
        QueueManager::incomeQueue().addOperation([future = future_, this] {
            entered_ = true;
            future.wait();
        });
        waitUntil([this] { return entered_.load(); });
    }
    ~IncomeGate() { open(); }
    void open() {
        if (!opened_.exchange(true)) {
            promise_.set_value();
        }
    }

private:
    std::promise<void> promise_;
    std::shared_future<void> future_ = promise_.get_future().share();
    std::atomic<bool> entered_{false};
    std::atomic<bool> opened_{false};
};

class CoreLifeCycle : public ::testing::Test {
protected:
    void SetUp() override {
        lifeCycle = ApplicationLifeCycle::create(QueueManager::incomeQueue(), host::Environment::shared());
        lifeCycle->setLifeCycleListener(listener);
    }
    void TearDown() override {
        QueueManager::incomeQueue().resume();
        QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
    }

    test::ScopedEnvironment environment;
    std::shared_ptr<RecordingListener> listener = std::make_shared<RecordingListener>();
    std::shared_ptr<ApplicationLifeCycle> lifeCycle;
};

TEST_F(CoreLifeCycle, BecomingActiveOnlyQueuesTheStartOnTheIncomeQueue) {
    IncomeGate gate;
    environment.post(AppNotification::didBecomeActive);
    // The poster is back while the income queue is still held: nothing has run yet.
    EXPECT_TRUE(listener->calls().empty());
    gate.open();
    ASSERT_TRUE(waitUntil([&] { return listener->calls().size() == 1; }));
    EXPECT_EQ(listener->calls().front(), "active");
    EXPECT_EQ(listener->offQueue(), 0);
}

// The poster waits until the income queue has run everything queued before it, the stop included; work
// that others queue meanwhile is not waited for, or steady calls from other threads could hold the host's
// thread for as long as they go on.
TEST_F(CoreLifeCycle, EachStoppingNotificationBlocksThePosterUntilWhatWasQueuedBeforeHasRun) {
    const std::vector<std::pair<AppNotification, std::string>> stops = {
        {AppNotification::willResignActive, "inactive"},
        {AppNotification::didEnterBackground, "background"},
        {AppNotification::willTerminate, "terminate"}};
    for (const auto& [notification, name] : stops) {
        auto gate = std::make_unique<IncomeGate>();
        std::atomic<bool> queuedBefore{false};
        QueueManager::incomeQueue().addOperation([&] { queuedBefore = true; });
        auto poster = std::async(std::launch::async, [&, notification = notification] {
            environment.post(notification);
            return queuedBefore.load();
        });
        EXPECT_EQ(poster.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
        ASSERT_TRUE(waitUntil([] { return QueueManager::incomeQueue().operationCount() >= 3; }));
        // Queued behind the stop, and held: the poster comes back all the same.
        std::promise<void> release;
        QueueManager::incomeQueue().addOperation([held = release.get_future().share()] { held.wait(); });
        gate->open();
        EXPECT_TRUE(poster.get()) << name;
        ASSERT_FALSE(listener->calls().empty());
        EXPECT_EQ(listener->calls().back(), name);
        release.set_value();
        QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
    }
    EXPECT_EQ(listener->offQueue(), 0);
}

TEST_F(CoreLifeCycle, GoingToTheBackgroundStopsTwiceAndWaitsTwice) {
    ZQBHost::applicationWillResignActive();
    EXPECT_EQ(host::Environment::shared().application()->applicationState(), ApplicationState::inactive);
    ZQBHost::applicationDidEnterBackground();
    EXPECT_EQ(host::Environment::shared().application()->applicationState(), ApplicationState::background);
    // Both stops ran before the calls returned.
    EXPECT_EQ(listener->calls(), (std::vector<std::string>{"inactive", "background"}));
    ZQBHost::applicationDidBecomeActive();
    EXPECT_EQ(host::Environment::shared().application()->applicationState(), ApplicationState::active);
    ASSERT_TRUE(waitUntil([&] { return listener->calls().size() == 3; }));
    EXPECT_EQ(listener->calls().back(), "active");
    ZQBHost::applicationWillTerminate();
    EXPECT_EQ(listener->calls().back(), "terminate");
    EXPECT_EQ(host::Environment::shared().application()->applicationState(), ApplicationState::background);
}

// The host's transitions are facts in order with its calls: work queued before a transition still sees
// the application as it was then, although the host has moved on by the time that work runs.
TEST_F(CoreLifeCycle, TheIncomeQueueSeesEachTransitionWhereItWasReported) {
    auto gate = std::make_unique<IncomeGate>();
    const auto seenOnQueue = [&] {
        auto seen = std::make_shared<std::promise<bool>>();
        QueueManager::incomeQueue().addOperation(
            [this, seen] { seen->set_value(lifeCycle->isApplicationInBackground()); });
        return seen->get_future();
    };
    auto beforeTheStop = seenOnQueue();
    auto poster = std::async(std::launch::async, [] { ZQBHost::applicationDidEnterBackground(); });
    ASSERT_TRUE(waitUntil([] { return QueueManager::incomeQueue().operationCount() >= 3; }));
    EXPECT_EQ(host::Environment::shared().application()->applicationState(), ApplicationState::background);
    gate->open();
    poster.get();
    EXPECT_FALSE(beforeTheStop.get());
    EXPECT_TRUE(seenOnQueue().get());

    gate = std::make_unique<IncomeGate>();
    auto beforeBecomingActive = seenOnQueue();
    ZQBHost::applicationDidBecomeActive();
    gate->open();
    EXPECT_TRUE(beforeBecomingActive.get());
    EXPECT_FALSE(seenOnQueue().get());
    EXPECT_EQ(listener->calls(), (std::vector<std::string>{"background", "active"}));
}

TEST_F(CoreLifeCycle, AStopPostedFromTheIncomeQueueRunsThereAtOnceInsteadOfWaitingOnItself) {
    std::promise<std::vector<std::string>> seenInside;
    QueueManager::incomeQueue().addOperation([&] {
        // As a completion handler or the log closure might: the post must come back, with the stop done.
        environment.post(AppNotification::didEnterBackground);
        seenInside.set_value(listener->calls());
    });
    auto future = seenInside.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(future.get(), std::vector<std::string>{"background"});
}

TEST_F(CoreLifeCycle, AStopOnAPausedIncomeQueueIsQueuedWithoutHoldingThePoster) {
    QueueManager::incomeQueue().pause();
    auto poster = std::async(std::launch::async, [&] { environment.post(AppNotification::willTerminate); });
    ASSERT_EQ(poster.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(listener->calls().empty());
    QueueManager::incomeQueue().resume();
    ASSERT_TRUE(waitUntil([&] { return listener->calls().size() == 1; }));
    EXPECT_EQ(listener->calls().front(), "terminate");
}

TEST_F(CoreLifeCycle, AGoneListenerOrAReleasedLifeCycleNoLongerReacts) {
    lifeCycle->setLifeCycleListener({});
    environment.post(AppNotification::willResignActive);
    environment.post(AppNotification::didBecomeActive);
    // The listener is looked up when a transition runs on the income queue, not when it is posted.
    QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();

    lifeCycle->setLifeCycleListener(listener);
    lifeCycle.reset();
    environment.post(AppNotification::didEnterBackground);
    environment.post(AppNotification::didBecomeActive);
    QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(listener->calls().empty());

    // A listener released while its call waits in the queue is not called either.
    auto other = ApplicationLifeCycle::create(QueueManager::incomeQueue(), host::Environment::shared());
    auto shortLived = std::make_shared<RecordingListener>();
    other->setLifeCycleListener(shortLived);
    {
        IncomeGate gate;
        environment.post(AppNotification::didBecomeActive);
        std::weak_ptr<RecordingListener> weak = shortLived;
        shortLived.reset();
        EXPECT_TRUE(weak.expired());
    }
    QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
}

TEST_F(CoreLifeCycle, TheRepositoryHandsTheListenerToItsLifeCycle) {
    LifeCycleRepository repository(
        ApplicationLifeCycle::create(QueueManager::incomeQueue(), host::Environment::shared()));
    auto other = std::make_shared<RecordingListener>();
    repository.setLifeCycleListener(other);
    EXPECT_EQ(repository.lifecycle()->listener(), other);
    environment.post(AppNotification::willResignActive);
    EXPECT_EQ(other->calls(), std::vector<std::string>{"inactive"});
    repository.setLifeCycleListener({});
    EXPECT_EQ(repository.lifecycle()->listener(), nullptr);
}

}  // namespace
}  // namespace zqb
