#include "core/AnalyticsProxy.hpp"
#include "foundation/QueueManager.hpp"
#include "support/LogCapture.hpp"
#include "support/RecordingAnalyticsLogic.hpp"
#include "validation/CustomEventParamsLimit.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <set>
#include <thread>

namespace zqb {
namespace {

using Texts = std::vector<std::string>;

void drainIncomeQueue() {
    ASSERT_TRUE(QueueManager::incomeQueue().waitUntilAllOperationsAreFinished());
}

std::string notInitialized(const std::string& method) {
    return "ERROR In the " + method + " method an error has occurred: The SDK is not initialized yet!";
}

// Every queued operation of the proxy, with the name its refusal prints.
void callEveryQueuedOperation(AnalyticsProxy& proxy) {
    proxy.getDeviceId([](std::string) {});
    proxy.getSDKVersion([](std::string) {});
    proxy.getTrackingAvailability([](bool) {});
    proxy.setTrackingAvailability(true);
    proxy.getUserId([](std::string) {});
    proxy.setUserId("u");
    proxy.replaceUserId("a", "b");
    proxy.getCurrentLevel([](int64_t) {});
    proxy.setCurrentLevel(2);
    proxy.levelUp(2, {});
    proxy.currentBalance({{"gold", 1}});
    proxy.customEvent("ev", {});
    proxy.sendBufferedEvents();
    proxy.virtualCurrencyPayment("p", "t", 1, {{"gold", 1}});
    proxy.currencyAccrual("gold", 1, "shop", ZQBAccrualType::earned);
    proxy.startProgressionEvent("dungeon", {});
    proxy.finishProgressionEvent("dungeon", {});
    proxy.realCurrencyPayment("order", 1.0, "product", "USD");
    proxy.socialNetworkConnect({"fb"});
    proxy.socialNetworkPost({"fb"}, "win");
    proxy.tutorial(1);
    proxy.referrer({{ZQBReferralProperty::source(), "ads"}});
    proxy.isRestoreTransactionHistoryRequired([](bool) {});
    proxy.subscriptionPayment(host::PaymentTransaction{"t1", "p1"}, host::StoreProductTexts{"p1", "1", {}});
    proxy.subscriptionPayment("p1", "t1");
    proxy.subscriptionHistory(std::vector<host::PaymentTransaction>{});
    proxy.subscriptionHistory(AnalyticsProtocol::SubscriptionHistory{{"p1", {"t1"}}});
    proxy.adImpression("net", 0.5, std::nullopt, std::nullopt);
}

const Texts kRefusalNames = {
    "getDeviceId(_:)",
    "getSDKVersion(_:)",
    "getTrackingAvailability(_:)",
    "setTrackingAvailability(_:)",
    "getUserId(_:)",
    "setUserId(_:)",
    "replaceUserId(_:_:)",
    "getCurrentLevel(_:)",
    "setCurrentLevel(_:)",
    "levelUp(_:_:)",
    "currentBalance(_:)",
    "customEvent(_:_:)",
    "sendBufferedEvents()",
    "virtualCurrencyPayment(_:_:_:_:)",
    "currencyAccrual(_:_:_:_:)",
    "startProgressionEvent(_:_:)",
    "finishProgressionEvent(_:_:)",
    "realCurrencyPayment(_:_:_:_:)",
    "socialNetworkConnect(_:)",
    "socialNetworkPost(_:_:)",
    "tutorial(_:)",
    "referrer(_:)",
    "isRestoreTransactionHistoryRequired(_:)",
    "subscriptionPayment(_:_:)",
    "subscriptionPayment(_:_:)",
    "subscriptionHistory(_:)",
    "subscriptionHistory(_:)",
    "adImpression(_:_:_:_:)",
};

TEST(AnalyticsProxyQueue, WithoutLogicEveryQueuedOperationIsRefusedInOrderUnderItsDeclarationName) {
    test::LogCapture log;
    auto proxy = AnalyticsProxy::make(QueueManager::incomeQueue());
    callEveryQueuedOperation(*proxy);
    drainIncomeQueue();
    Texts expected;
    for (const auto& name : kRefusalNames) {
        expected.push_back(notInitialized(name));
    }
    EXPECT_EQ(log.texts(), expected);
}

TEST(AnalyticsProxyQueue, WithLogicEveryOperationReachesItInTheOrderOfTheCalls) {
    test::LogCapture log;
    auto proxy = AnalyticsProxy::make(QueueManager::incomeQueue());
    auto logic = std::make_shared<test::RecordingAnalyticsLogic>();
    proxy->setAnalyticsLogic(logic);
    callEveryQueuedOperation(*proxy);
    drainIncomeQueue();
    EXPECT_EQ(logic->calls(), (Texts{
                                  "getDeviceId()",
                                  "getSDKVersion()",
                                  "getTrackingAvailability()",
                                  "setTrackingAvailability(true)",
                                  "getUserId()",
                                  "setUserId(\"u\")",
                                  "replaceUserId(\"a\", \"b\")",
                                  "getCurrentLevel()",
                                  "setCurrentLevel(2)",
                                  "levelUp(2, {})",
                                  "currentBalance({\"gold\": 1})",
                                  "customEvent(\"ev\", {})",
                                  "sendBufferedEvents()",
                                  "virtualCurrencyPayment(\"p\", \"t\", 1, {\"gold\": 1})",
                                  "currencyAccrual(\"gold\", 1, \"shop\", earned)",
                                  "startProgressionEvent(\"dungeon\", nil, nil)",
                                  "finishProgressionEvent(\"dungeon\", false, 0, {}, {})",
                                  "realCurrencyPayment(\"order\", 1.0, \"product\", \"USD\")",
                                  "socialNetworkConnect(\"fb\")",
                                  "socialNetworkPost(\"fb\", \"win\")",
                                  "tutorial(1)",
                                  "referrer({\"source\": \"ads\"})",
                                  "isRestoreTransactionHistoryRequired()",
                                  "subscriptionPayment({\"t1\", \"p1\"}, {\"p1\", 1, \"\"})",
                                  "subscriptionPayment(\"p1\", \"t1\")",
                                  "subscriptionHistory([])",
                                  "subscriptionHistory({\"p1\": [\"t1\"]})",
                                  "adImpression(\"net\", 0.5, nil, nil)",
                              }));
    EXPECT_TRUE(log.texts().empty());
}

TEST(AnalyticsProxyQueue, CompletionsRunOnTheIncomeQueueWithTheLogicsAnswerOrTheirDefault) {
    test::LogCapture log;
    auto proxy = AnalyticsProxy::make(QueueManager::incomeQueue());
    std::mutex mutex;
    Texts answers;
    std::atomic<int> offQueue{0};
    auto answer = [&](std::string text) {
        if (!QueueManager::incomeQueue().isCurrent()) {
            ++offQueue;
        }
        std::lock_guard lock(mutex);
        answers.push_back(std::move(text));
    };
    auto askAll = [&] {
        proxy->getDeviceId(answer);
        proxy->getSDKVersion(answer);
        proxy->getUserId(answer);
        proxy->getCurrentLevel([&](int64_t level) { answer(std::to_string(level)); });
        proxy->getTrackingAvailability([&](bool flag) { answer(flag ? "true" : "false"); });
        proxy->isRestoreTransactionHistoryRequired([&](bool flag) { answer(flag ? "true" : "false"); });
    };
    askAll();
    drainIncomeQueue();
    EXPECT_EQ(answers, (Texts{"", "", "", "1", "false", "false"}));

    answers.clear();
    proxy->setAnalyticsLogic(std::make_shared<test::RecordingAnalyticsLogic>());
    askAll();
    drainIncomeQueue();
    EXPECT_EQ(answers, (Texts{"DEVICE-ID", "2.1.2", "USER-ID", "7", "true", "true"}));
    EXPECT_EQ(offQueue.load(), 0);

    // An empty completion is harmless.
    proxy->getDeviceId(nullptr);
    drainIncomeQueue();
}

TEST(AnalyticsProxyLifetime, OperationsQueuedForAReleasedProxyDoNothingButQueriesStillAnswerSilently) {
    test::LogCapture log;
    auto logic = std::make_shared<test::RecordingAnalyticsLogic>();
    std::atomic<bool> gate{false};
    // Hold the income queue so that the proxy is released while its operations wait.
    QueueManager::incomeQueue().addOperation([&] {
        while (!gate.load()) {
            std::this_thread::yield();
        }
    });
    std::weak_ptr<AnalyticsProxy> weak;
    std::string device = "unanswered";
    {
        auto proxy = AnalyticsProxy::make(QueueManager::incomeQueue());
        weak = proxy;
        proxy->setAnalyticsLogic(logic);
        proxy->customEvent("ev", {});
        proxy->setCurrentLevel(0);
        proxy->getDeviceId([&](std::string id) { device = std::move(id); });
    }
    // The queued operations did not keep the proxy alive.
    EXPECT_TRUE(weak.expired());
    gate = true;
    drainIncomeQueue();
    EXPECT_TRUE(logic->calls().empty());
    EXPECT_EQ(device, "");
    EXPECT_TRUE(log.texts().empty());
}

// The proxy's calls name it by address and its deletion waits behind them: its queue must run every call
// it was given, so a cancellation, which would drop the deletion and delete the proxy under the call that
// runs, is refused.
TEST(AnalyticsProxyQueue, ItsQueueRefusesToCancelTheCallsThatNameTheProxy) {
    test::LogCapture log;
    QueueManager income("test.income");
    struct HeldLogic : test::RecordingAnalyticsLogic {
        std::promise<void> entered;
        std::shared_future<void> release;
        void setUserId(std::string userId) override {
            entered.set_value();
            release.wait();
            RecordingAnalyticsLogic::setUserId(std::move(userId));
        }
    };
    auto logic = std::make_shared<HeldLogic>();
    std::promise<void> release;
    logic->release = release.get_future().share();
    auto proxy = AnalyticsProxy::make(income);
    const std::weak_ptr<AnalyticsProxy> weak = proxy;
    proxy->setAnalyticsLogic(logic);
    proxy->setUserId("running");
    logic->entered.get_future().wait();
    proxy->tutorial(1);

    income.cancelAll();
    release.set_value();
    ASSERT_TRUE(income.waitUntilAllOperationsAreFinished());
    EXPECT_EQ(logic->calls(), (Texts{"setUserId(\"running\")", "tutorial(1)"}));
    EXPECT_TRUE(log.contains("ERROR The queue test.income runs every operation it is given"));
    proxy.reset();
    ASSERT_TRUE(income.waitUntilAllOperationsAreFinished());
    EXPECT_TRUE(weak.expired());
}

TEST(AnalyticsProxyCallerThread, StopAndTheParameterLimitRunAtOnceWithoutTheQueue) {
    test::LogCapture log;
    auto proxy = AnalyticsProxy::make(QueueManager::incomeQueue());
    QueueManager::incomeQueue().pause();
    EXPECT_EQ(proxy->getCustomEventParamsCount(), 20);
    proxy->stopSDK();

    auto logic = std::make_shared<test::RecordingAnalyticsLogic>();
    proxy->setAnalyticsLogic(logic);
    CustomEventParamsLimit::publish(5);
    EXPECT_EQ(proxy->getCustomEventParamsCount(), 5);
    CustomEventParamsLimit::clear();
    proxy->stopSDK();
    // Neither waited for the paused queue nor asked the logic's own (income-queue) count.
    EXPECT_EQ(logic->calls(), Texts{"stopSDK()"});
    QueueManager::incomeQueue().resume();
    EXPECT_TRUE(log.texts().empty());
}

TEST(AnalyticsProxyCallerThread, CallsFromManyThreadsAllArriveEachInItsThreadsOrder) {
    test::LogCapture log;
    auto proxy = AnalyticsProxy::make(QueueManager::incomeQueue());
    auto logic = std::make_shared<test::RecordingAnalyticsLogic>();
    proxy->setAnalyticsLogic(logic);
    constexpr int kThreads = 8;
    constexpr int kCalls = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) {
                proxy->tutorial(t * 1000 + i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    drainIncomeQueue();
    const auto calls = logic->calls();
    ASSERT_EQ(calls.size(), static_cast<std::size_t>(kThreads * kCalls));
    std::vector<int> next(kThreads, 0);
    for (const auto& call : calls) {
        const int step = std::stoi(call.substr(std::string("tutorial(").size()));
        EXPECT_EQ(step % 1000, next[step / 1000]++);
    }
}

}  // namespace
}  // namespace zqb
