#include "core/AnalyticsObserver.hpp"
#include "core/AnalyticsProxy.hpp"
#include "foundation/QueueManager.hpp"
#include "support/LogCapture.hpp"
#include "support/RecordingAnalyticsLogic.hpp"
#include "support/Wait.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace zqb {
namespace {

using test::waitUntil;

class RecordingIdsListener final : public ZQBIdentifiersListener {
public:
    void didReceiveVorantelIdWith(int64_t vorantelId) override {
        std::lock_guard lock(mutex_);
        ids_.push_back(vorantelId);
    }
    std::vector<int64_t> ids() const {
        std::lock_guard lock(mutex_);
        return ids_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<int64_t> ids_;
};

// Stands in for the logic: keeps the installed closure and answers `forceUpdate` with a stored id.
class FakeBroadcaster final : public LogicBroadcasterProtocol {
public:
    IdentifiersUpdate onBackendIdentifiersUpdate() const override { return closure; }
    void setOnBackendIdentifiersUpdate(IdentifiersUpdate update) override { closure = std::move(update); }
    void forceUpdate() override {
        ++forced;
        if (closure) {
            closure(storedId);
        }
    }

    IdentifiersUpdate closure;
    std::optional<int64_t> storedId;
    std::atomic<int> forced{0};
};

void waitForIncomeQueue() {
    QueueManager::incomeQueue().waitUntilAllOperationsAreFinished();
}

TEST(CoreObserver, TheListenerHearsEveryNonZeroIdOfTheIdentificationAnswers) {
    auto observer = std::make_shared<AnalyticsObserver>(QueueManager::incomeQueue());
    auto listener = std::make_shared<RecordingIdsListener>();
    observer->addIdentifiersListener(listener);
    waitForIncomeQueue();

    auto logic = std::make_shared<FakeBroadcaster>();
    observer->addLogicBroadcaster(logic);
    ASSERT_TRUE(logic->closure);
    logic->closure(std::nullopt);
    logic->closure(0);
    logic->closure(42);
    logic->closure(-7);
    EXPECT_EQ(listener->ids(), (std::vector<int64_t>{42, -7}));
}

TEST(CoreObserver, AListenerRegisteredAfterStartUpHearsTheKnownIdAtOnce) {
    auto observer = std::make_shared<AnalyticsObserver>(QueueManager::incomeQueue());
    auto logic = std::make_shared<FakeBroadcaster>();
    logic->storedId = 99;
    observer->addLogicBroadcaster(logic);

    auto listener = std::make_shared<RecordingIdsListener>();
    observer->addIdentifiersListener(listener);
    ASSERT_TRUE(waitUntil([&] { return listener->ids().size() == 1; }));
    EXPECT_EQ(listener->ids().front(), 99);

    // A replacement takes over; removing the listener leaves the refresh without anyone to tell.
    auto second = std::make_shared<RecordingIdsListener>();
    observer->addIdentifiersListener(second);
    ASSERT_TRUE(waitUntil([&] { return second->ids().size() == 1; }));
    observer->addIdentifiersListener(nullptr);
    waitForIncomeQueue();
    EXPECT_EQ(logic->forced.load(), 3);
    EXPECT_EQ(listener->ids().size(), 1u);
    EXPECT_EQ(second->ids().size(), 1u);
}

TEST(CoreObserver, AListenerWithoutTheMethodIsHarmlessAndBeforeStartUpNothingIsForced) {
    auto observer = std::make_shared<AnalyticsObserver>(QueueManager::incomeQueue());
    observer->addIdentifiersListener(std::make_shared<ZQBIdentifiersListener>());
    waitForIncomeQueue();

    auto logic = std::make_shared<FakeBroadcaster>();
    logic->storedId = 5;
    observer->addLogicBroadcaster(logic);
    logic->forceUpdate();
    EXPECT_EQ(logic->forced.load(), 1);
}

TEST(CoreObserver, NeitherTheObserverNorTheLogicIsKeptAliveByTheOther) {
    auto observer = std::make_shared<AnalyticsObserver>(QueueManager::incomeQueue());
    auto listener = std::make_shared<RecordingIdsListener>();
    observer->addIdentifiersListener(listener);
    // Start-up hands the logic over on the income queue, after the refresh queued above.
    waitForIncomeQueue();
    auto logic = std::make_shared<FakeBroadcaster>();
    observer->addLogicBroadcaster(logic);
    const auto closure = logic->closure;

    std::weak_ptr<FakeBroadcaster> weakLogic = logic;
    logic.reset();
    EXPECT_TRUE(weakLogic.expired());
    EXPECT_EQ(observer->logicBroadcaster(), nullptr);
    // A refresh queued with the logic gone does nothing.
    observer->addIdentifiersListener(listener);

    observer.reset();
    closure(17);
    waitForIncomeQueue();
    EXPECT_TRUE(listener->ids().empty());
}

TEST(CoreProxy, WithoutLogicEveryCallIsRefusedByName) {
    test::LogCapture log;
    auto proxy = AnalyticsProxy::make(QueueManager::incomeQueue());
    EXPECT_FALSE(proxy->validateInitialization("customEvent(_:_:)"));
    EXPECT_EQ(log.texts(), std::vector<std::string>{
                               "ERROR In the customEvent(_:_:) method an error has occurred: The SDK is not "
                               "initialized yet!"});
    proxy->stopSDK();
}

TEST(CoreProxy, WithLogicTheCheckPassesSilentlyAndStopReachesTheLogic) {
    test::LogCapture log;
    auto proxy = AnalyticsProxy::make(QueueManager::incomeQueue());
    auto logic = std::make_shared<test::RecordingAnalyticsLogic>();
    proxy->setAnalyticsLogic(logic);
    EXPECT_TRUE(proxy->validateInitialization("levelUp(_:_:)"));
    proxy->stopSDK();
    EXPECT_EQ(logic->calls(), std::vector<std::string>{"stopSDK()"});
    EXPECT_TRUE(log.texts().empty());
}

}  // namespace
}  // namespace zqb
