#include "services/ConfigService.hpp"

#include "backend/Backend.hpp"
#include "backend/BackendRepository.hpp"
#include "foundation/QueueManager.hpp"
#include "foundation/TextUtils.hpp"
#include "host/Environment.hpp"
#include "network/BackendConfigUrl.hpp"
#include "support/FakeStateManager.hpp"
#include "support/GatewayClient.hpp"
#include "support/LogCapture.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/QueueRunner.hpp"
#include "support/RawSocketServer.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/Wait.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zqb {
namespace {

using test::LoopbackGateway;
using test::onIncome;

constexpr const char* kConfigPath = "/v2/analytics/config";
constexpr const char* kIdentificationPath = "/v2/analytics/identification";

constexpr const char* kConfigBody =
    R"({"timeForRequest":60000,"countForRequest":25,"eventParamsCount":15,"sessionTimeout":300000,)"
    R"("serverTime":1700000000000,"aliveTimeout":120000,"userCounting":false,"currencyAggregationTimeout":30000,)"
    R"("sbsBundles":["com.example.monthly","com.example.yearly"],"sbsConfigVersion":4,)"
    R"("exclude":{"version":3,"all":false,"events":{"ce":["level_won"],"lu":[]}}})";

class ConfigServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        BackendConfigUrl::setTestProxyUrl(gateway.baseUrl());
        state = std::make_shared<test::FakeStateManager>();
        service = std::make_shared<ConfigService>(
            state, nullptr,
            std::make_shared<Backend>(test::gatewayClient(host::Environment::shared().httpSession())),
            Queues::processWide(), host::Environment::shared());
        onIncome([&] {
            service->setOnSdkConfigUpdate([this](const Config& config) {
                EXPECT_TRUE(QueueManager::incomeQueue().isCurrent());
                std::lock_guard lock(mutex);
                configs.push_back(config);
            });
            service->setOnIdentifiersUpdate([this](std::optional<int64_t> vorantelId) {
                EXPECT_TRUE(QueueManager::incomeQueue().isCurrent());
                std::lock_guard lock(mutex);
                vorantelIds.push_back(vorantelId);
            });
        });
    }

    void TearDown() override {
        test::settleAll();
        BackendConfigUrl::setTestProxyUrl("");
    }

    // Waits until the delayed scheduler holds `count` pending tasks (requests and their answers run on the
    // service's queues).
    bool waitForPending(std::size_t count) {
        return test::waitUntil([&] { return env.runLoop().pendingCount() == count; });
    }
    std::size_t configCount() {
        std::lock_guard lock(mutex);
        return configs.size();
    }
    void requestConfig() {
        onIncome([&] { service->receiveSdkConfig(); });
    }
    void requestIdentifiers() {
        onIncome([&] { service->receiveUserBackendIds(); });
    }
    static std::string encoded(const std::string& text) { return text::base64Encode(text); }

    test::ScopedEnvironment env;
    test::LogCapture logs;
    LoopbackGateway gateway;
    std::shared_ptr<test::FakeStateManager> state;
    std::shared_ptr<ConfigService> service;
    std::mutex mutex;
    std::vector<Config> configs;
    std::vector<std::optional<int64_t>> vorantelIds;
};

TEST_F(ConfigServiceTest, ARealConfigurationReachesTheHandlerWithItsExclusionsAndBundles) {
    gateway.setReply(kConfigPath, {200, kConfigBody});
    requestConfig();
    test::settleAll();

    const auto sent = gateway.requests(kConfigPath);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].body, R"({"sdkVersion":"2.1.2","sdkCodeVersion":10,"appVersion":"1.2.3"})");
    EXPECT_EQ(sent[0].query, "appId=test-app-key");
    EXPECT_EQ(sent[0].header("UserId"), encoded("user-1"));
    EXPECT_TRUE(logs.contains("DEBUG Trying to get analytics configuration from the server"));

    ASSERT_EQ(configCount(), 1u);
    const Config& config = configs[0];
    EXPECT_EQ(config, Config::decode(kConfigBody));
    EXPECT_EQ(config.countForRequest, 25);
    EXPECT_FALSE(config.userCounting);
    EXPECT_EQ(config.sbsBundles, (std::vector<std::string>{"com.example.monthly", "com.example.yearly"}));
    EXPECT_EQ(config.sbsConfigVersion, 4);
    ASSERT_TRUE(config.exclude.has_value());
    EXPECT_EQ(config.exclude->version, 3);
    EXPECT_EQ(config.exclude->all, false);
    ASSERT_TRUE(config.exclude->events.has_value());
    EXPECT_EQ(config.exclude->events->size(), 2u);
    EXPECT_TRUE(config.exclude->events->at("lu").empty());
    EXPECT_EQ(config.exclude->events->at("ce").size(), 1u);
    EXPECT_EQ(env.runLoop().pendingCount(), 0u);
}

TEST_F(ConfigServiceTest, DefaultAnswersAreRetriedAfterGrowingDelaysCappedAtTenMinutes) {
    gateway.setReply(kConfigPath, {500, ""});
    const std::vector<int64_t> delays{60, 120, 180, 240, 300, 360, 420, 480, 540, 600, 600, 600};
    requestConfig();
    for (std::size_t round = 0; round < delays.size(); ++round) {
        ASSERT_TRUE(waitForPending(1)) << "round " << round;
        EXPECT_EQ(env.runLoop().nextDueInMs(), delays[round] * 1000) << "round " << round;
        EXPECT_EQ(
            logs.count("DEBUG Failed to get analytics configuration, using the default configuration and "
                       "retrying after " +
                       std::to_string(delays[round]) + " seconds"),
            static_cast<std::size_t>(std::count(delays.begin(), delays.begin() + round + 1, delays[round])));
        // Nothing goes out before the delay has passed.
        env.advance(delays[round] * 1000 - 1);
        EXPECT_EQ(gateway.requestCount(), round + 1);
        env.advance(1);
        ASSERT_TRUE(gateway.waitForRequests(round + 2)) << "round " << round;
    }
    ASSERT_TRUE(waitForPending(1));
    test::settleAll();
    EXPECT_EQ(configCount(), 0u);
}

// A request that got no answer at all says why on its retry line; one the gateway refused has no reason.
TEST_F(ConfigServiceTest, TheRetryLineSaysWhyNoAnswerCame) {
    const std::string line =
        "DEBUG Failed to get analytics configuration, using the default configuration and "
        "retrying after ";
    test::RawSocketServer closing("");
    BackendConfigUrl::setTestProxyUrl(closing.baseUrl());
    requestConfig();
    ASSERT_TRUE(waitForPending(1));
    EXPECT_EQ(logs.matching("Failed to get analytics configuration"),
              std::vector<std::string>{line + "60 seconds (no answer: Empty reply from server)"});

    BackendConfigUrl::setTestProxyUrl(gateway.baseUrl());
    gateway.setReply(kConfigPath, {500, ""});
    logs.clear();
    ASSERT_TRUE(env.runLoop().advanceToNextTimer());
    ASSERT_TRUE(gateway.waitForRequests(1));
    ASSERT_TRUE(waitForPending(1));
    EXPECT_EQ(logs.matching("Failed to get analytics configuration"),
              std::vector<std::string>{line + "120 seconds"});
}

TEST_F(ConfigServiceTest, ARealAnswerDoesNotResetTheGrowingDelay) {
    gateway.pushReply(kConfigPath, {500, ""});
    gateway.pushReply(kConfigPath, {500, ""});
    gateway.pushReply(kConfigPath, {500, ""});
    gateway.pushReply(kConfigPath, {200, kConfigBody});
    gateway.setReply(kConfigPath, {500, ""});
    requestConfig();
    for (int failure = 0; failure < 3; ++failure) {
        ASSERT_TRUE(waitForPending(1));
        ASSERT_TRUE(env.runLoop().advanceToNextTimer());
    }
    ASSERT_TRUE(gateway.waitForRequests(4));
    test::settleAll();
    EXPECT_EQ(configCount(), 1u);
    EXPECT_EQ(env.runLoop().pendingCount(), 0u);

    requestConfig();
    ASSERT_TRUE(waitForPending(1));
    EXPECT_EQ(env.runLoop().nextDueInMs(), 240000);
    EXPECT_TRUE(logs.contains("retrying after 240 seconds"));
}

TEST_F(ConfigServiceTest, ARetryTakesAFreshSnapshotOnTheIncomeQueue) {
    gateway.pushReply(kConfigPath, {500, ""});
    gateway.setReply(kConfigPath, {200, kConfigBody});
    requestConfig();
    ASSERT_TRUE(waitForPending(1));
    onIncome([&] {
        state->activateUser("after-switch");
        state->appData.applicationVersion = "1.2.4";
    });
    env.advance(60000);
    ASSERT_TRUE(gateway.waitForRequests(2));
    test::settleAll();
    const auto retried = gateway.requests(kConfigPath)[1];
    EXPECT_EQ(retried.header("UserId"), encoded("after-switch"));
    EXPECT_NE(retried.body.find(R"("appVersion":"1.2.4")"), std::string::npos);
    EXPECT_EQ(configCount(), 1u);
}

TEST_F(ConfigServiceTest, AReleasedServiceEndsItsRetryChainSilently) {
    gateway.setReply(kConfigPath, {500, ""});
    requestConfig();
    ASSERT_TRUE(waitForPending(1));
    onIncome([&] { service.reset(); });
    env.advance(60000);
    test::settleAll();
    EXPECT_EQ(gateway.requestCount(), 1u);
    EXPECT_EQ(env.runLoop().pendingCount(), 0u);
}

// Answers still under way when the library is destroyed find its database closed: they are dropped, and no
// retry or new request goes out.
TEST_F(ConfigServiceTest, AnswersArrivingAfterTheStopAreDroppedWithoutAnError) {
    std::mutex holdMutex;
    std::condition_variable holdRelease;
    bool open = false;
    const auto held = [&](std::string body) {
        return [&, body](const LoopbackGateway::Request&) {
            std::unique_lock lock(holdMutex);
            holdRelease.wait(lock, [&] { return open; });
            return LoopbackGateway::Reply(200, body);
        };
    };
    gateway.setHandler(kIdentificationPath, held(R"({"vorantelId":5})"));
    gateway.setHandler(kConfigPath, held(kConfigBody));
    // Both go on the config queue: the configuration request leaves once the identification has its answer.
    requestIdentifiers();
    requestConfig();
    ASSERT_TRUE(gateway.waitForRequests(1));
    onIncome([&] { service->stop(); });
    {
        std::lock_guard lock(holdMutex);
        open = true;
        holdRelease.notify_all();
    }
    test::settleAll();

    EXPECT_TRUE(vorantelIds.empty());
    EXPECT_EQ(configCount(), 0u);
    onIncome([&] { EXPECT_FALSE(state->deviceIdentifiers->vorantelId.has_value()); });
    EXPECT_TRUE(logs.contains("DEBUG The library was destroyed: the identification answer is dropped"));
    EXPECT_TRUE(logs.contains("DEBUG The library was destroyed: the configuration answer is dropped"));
    EXPECT_EQ(logs.count("ERROR"), 0u);

    requestIdentifiers();
    requestConfig();
    test::settleAll();
    EXPECT_EQ(gateway.requestCount(), 2u);
}

TEST_F(ConfigServiceTest, IdentifiersAreRetriedAfterTheGatewaysDelayWithTheNextAttemptNumber) {
    state->deviceIdentifiers->previousDeviceIdentifier = "device-0";
    gateway.pushReply(kIdentificationPath, {202, R"({"retryAfter":1500})"});
    gateway.pushReply(kIdentificationPath, {202, R"({"retryAfter":0})"});
    gateway.pushReply(kIdentificationPath, {202, R"({"retryAfter":-5})"});
    gateway.setReply(kIdentificationPath,
                     {200, R"({"vorantelId":7,"crossPlatformVorantelId":8,"vorantelIdTimestamp":9})"});
    requestIdentifiers();
    ASSERT_TRUE(waitForPending(1));
    EXPECT_EQ(env.runLoop().nextDueInMs(), 1500);
    EXPECT_TRUE(logs.contains("DEBUG BackendIdentifiers: let's retry after: 1500"));

    // Asked again while the retry waits: refused, nothing sent.
    requestIdentifiers();
    EXPECT_TRUE(
        logs.contains("DEBUG Receiving operation for user backend identifiers [user-1] has been canceled"));

    env.advance(1499);
    EXPECT_EQ(gateway.requestCount(), 1u);
    env.advance(1);
    // A delay of zero or below would send back to back: the retry waits one second.
    for (const std::string delay : {"0", "-5"}) {
        ASSERT_TRUE(waitForPending(1));
        EXPECT_EQ(env.runLoop().nextDueInMs(), 1000);
        EXPECT_TRUE(logs.contains("WARNING BackendIdentifiers: the retry delay of " + delay +
                                  " ms is below one second; retrying after one second"));
        env.advance(1000);
    }
    ASSERT_TRUE(gateway.waitForRequests(4));
    test::settleAll();

    const auto sent = gateway.requests(kIdentificationPath);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].body, R"({"attempt":1})");
    EXPECT_EQ(sent[1].body, R"({"attempt":2})");
    EXPECT_EQ(sent[2].body, R"({"attempt":3})");
    EXPECT_EQ(sent[3].body, R"({"attempt":4})");
    for (const auto& request : sent) {
        EXPECT_EQ(request.query, "appId=test-app-key");
        EXPECT_EQ(request.header("DeviceId"), encoded("device-1"));
        EXPECT_EQ(request.header("PreviousDeviceId"), encoded("device-0"));
        EXPECT_EQ(request.header("UserId"), encoded("user-1"));
    }

    onIncome([&] {
        EXPECT_EQ(state->deviceIdentifiers->vorantelId, 7);
        EXPECT_EQ(state->deviceIdentifiers->crossPlatformVorantelId, 8);
        EXPECT_EQ(state->deviceIdentifiers->vorantelIdTimestamp, 9);
        EXPECT_FALSE(service->backendIDsRequestInProcess());
    });
    EXPECT_EQ(vorantelIds, (std::vector<std::optional<int64_t>>{7}));
    EXPECT_TRUE(logs.contains("INFO For [user-1] user the updated backendIdentifiers are:\n\tvorantelId: 7"));
}

TEST_F(ConfigServiceTest, TheGatewaysLargestDelayDoesNotOverflow) {
    gateway.setReply(kIdentificationPath, {202, R"({"retryAfter":9223372036854775807})"});
    env.advance(5000);
    requestIdentifiers();
    ASSERT_TRUE(waitForPending(1));
    // The deadline saturates at the end of time instead of wrapping into the past.
    EXPECT_EQ(env.runLoop().nextDueInMs(), std::numeric_limits<int64_t>::max() - 5000);
    env.advance(int64_t{1} << 40);
    EXPECT_EQ(gateway.requestCount(), 1u);
    onIncome([&] { EXPECT_TRUE(service->backendIDsRequestInProcess()); });
}

TEST_F(ConfigServiceTest, AnAnswerForAUserNoLongerActiveStoresNothingAndAsksForTheActiveOne) {
    std::mutex holdMutex;
    std::condition_variable holdRelease;
    bool open = false;
    int seen = 0;
    gateway.setHandler(kIdentificationPath, [&](const LoopbackGateway::Request&) {
        std::unique_lock lock(holdMutex);
        if (seen++ == 0) {
            holdRelease.wait(lock, [&] { return open; });
            return LoopbackGateway::Reply(200, R"({"vorantelId":1})");
        }
        return LoopbackGateway::Reply(200, R"({"vorantelId":2})");
    });
    requestIdentifiers();
    ASSERT_TRUE(gateway.waitForRequests(1));
    onIncome([&] { state->activateUser("next-user"); });
    {
        std::lock_guard lock(holdMutex);
        open = true;
        holdRelease.notify_all();
    }
    ASSERT_TRUE(gateway.waitForRequests(2));
    test::settleAll();

    const auto sent = gateway.requests(kIdentificationPath);
    EXPECT_EQ(sent[1].header("UserId"), encoded("next-user"));
    EXPECT_EQ(sent[1].body, R"({"attempt":1})");
    EXPECT_TRUE(
        logs.contains("DEBUG In the process of receiving backendidentifiers from the server, the user was "
                      "changed. Request the identifiers again."));
    EXPECT_EQ(vorantelIds, (std::vector<std::optional<int64_t>>{2}));
    onIncome([&] { EXPECT_EQ(state->deviceIdentifiers->vorantelId, 2); });
}

TEST_F(ConfigServiceTest, AnAnswerWhileTrackingIsOffStoresNothing) {
    gateway.setReply(kIdentificationPath, {200, R"({"vorantelId":7})"});
    onIncome([&] { state->project->trackingAvailable = false; });
    requestIdentifiers();
    test::settleAll();
    EXPECT_TRUE(
        logs.contains("INFO BackendIdentifiers: The query result was not applied. Tracking is Disabled"));
    EXPECT_TRUE(vorantelIds.empty());

    onIncome([&] {
        EXPECT_FALSE(state->deviceIdentifiers->vorantelId.has_value());
        state->project->trackingAvailable = true;
    });
    requestIdentifiers();
    test::settleAll();
    EXPECT_EQ(gateway.requestCount(), 2u);
    EXPECT_EQ(vorantelIds, (std::vector<std::optional<int64_t>>{7}));
}

TEST_F(ConfigServiceTest, AnEmptyAnswerClearsTheStoredNumbers) {
    state->deviceIdentifiers->vorantelId = 1;
    state->deviceIdentifiers->crossPlatformVorantelId = 2;
    state->deviceIdentifiers->vorantelIdTimestamp = 3;
    gateway.setReply(kIdentificationPath, {200, "{}"});
    requestIdentifiers();
    test::settleAll();
    onIncome([&] {
        EXPECT_FALSE(state->deviceIdentifiers->vorantelId.has_value());
        EXPECT_FALSE(state->deviceIdentifiers->crossPlatformVorantelId.has_value());
        EXPECT_FALSE(state->deviceIdentifiers->vorantelIdTimestamp.has_value());
    });
    EXPECT_EQ(vorantelIds, (std::vector<std::optional<int64_t>>{std::nullopt}));
    EXPECT_TRUE(logs.contains("INFO For [user-1] user the updated backendIdentifiers are:\nEmpty failed"));
}

TEST_F(ConfigServiceTest, ErrorsAndRefusalsEndTheRequestUntilAskedAgain) {
    gateway.pushReply(kIdentificationPath, {500, ""});
    gateway.pushReply(kIdentificationPath, {422, ""});
    gateway.pushReply(kIdentificationPath, {202, "{}"});
    requestIdentifiers();
    test::settleAll();
    EXPECT_TRUE(
        logs.contains("ERROR BackendIdentifiers: [Backend Module] identifiers, unknown status code 500"));
    onIncome([&] { EXPECT_FALSE(service->backendIDsRequestInProcess()); });

    requestIdentifiers();
    test::settleAll();
    EXPECT_TRUE(logs.contains("DEBUG BackendIdentifiers: doNotRetry"));

    requestIdentifiers();
    test::settleAll();
    EXPECT_TRUE(logs.contains("ERROR BackendIdentifiers: [Backend Module] parse retry parametr. Error:  "));
    EXPECT_EQ(gateway.requestCount(), 3u);
    EXPECT_EQ(env.runLoop().pendingCount(), 0u);
    EXPECT_TRUE(vorantelIds.empty());
    onIncome([&] { EXPECT_FALSE(service->backendIDsRequestInProcess()); });
}

// A reset ends the series under way: the retry it waited for, whose headers carry the ids it began with,
// is not sent, even when its timer was already due, and the next request starts afresh with attempt 1.
TEST_F(ConfigServiceTest, AResetRequestSendsNothingMoreAndTheNextOneStartsAfresh) {
    gateway.pushReply(kIdentificationPath, {202, R"({"retryAfter":1500})"});
    gateway.setReply(kIdentificationPath, {200, R"({"vorantelId":7})"});
    requestIdentifiers();
    ASSERT_TRUE(waitForPending(1));
    // The retry's timer fires, and its block waits on the config back queue behind the reset.
    std::promise<void> held;
    QueueManager::configBackQueue().addOperation([wait = held.get_future().share()] { wait.wait(); });
    env.advance(1500);
    onIncome([&] {
        service->resetUserBackendIds();
        EXPECT_FALSE(service->backendIDsRequestInProcess());
    });
    held.set_value();
    test::settleAll();
    EXPECT_EQ(gateway.requestCount(), 1u);
    EXPECT_EQ(env.runLoop().pendingCount(), 0u);

    state->deviceIdentifiers->deviceIdentifier = "device-2";
    requestIdentifiers();
    test::settleAll();
    const auto sent = gateway.requests(kIdentificationPath);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].body, R"({"attempt":1})");
    EXPECT_EQ(sent[1].header("DeviceId"), encoded("device-2"));
    EXPECT_EQ(vorantelIds, (std::vector<std::optional<int64_t>>{7}));
}

}  // namespace
}  // namespace zqb
