// The whole library driven through its public interface, as a host drives it: calls on the host's thread,
// the real logic, services and database in a temporary folder, and a loopback gateway that records what
// arrives. Time is the manual clock; waits poll the gateway with a bound.

#include <ZQBAnalytics/ZQBAnalytics.hpp>
#include <ZQBAnalytics/ZQBHost.hpp>

#include "core/Core.hpp"
#include "core/QueueManager.hpp"
#include "database/SQLiteProvider.hpp"
#include "model/EventObject.hpp"
#include "support/LoopbackGateway.hpp"
#include "support/QueueRunner.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/Wait.hpp"
#include "validation/Validator.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <mutex>
#include <string>
#include <vector>

namespace zqb {
namespace {

constexpr const char* kReportPath = "/v2/analytics/report";
constexpr const char* kConfigPath = "/v2/analytics/config";

class AnalyticsEndToEnd : public ::testing::Test {
protected:
    AnalyticsEndToEnd() {
        gateway.setReply(kReportPath, {200, "{}"});
        gateway.setReply("/v2/analytics/identification",
                         {200, R"({"vorantelId":9,"crossPlatformVorantelId":10,"vorantelIdTimestamp":11})"});
        ZQBAnalytics::setTestProxyUrl(gateway.baseUrl());
    }

    ~AnalyticsEndToEnd() override {
        Core::destroy();
        test::settleAll();
        ZQBAnalytics::setTestProxyUrl("");
        Validator::setExcludedOptions(std::nullopt);
    }

    // Every event the gateway received in report uploads, flash sends included.
    std::vector<nlohmann::json> sentEvents(const std::string& code) {
        std::vector<nlohmann::json> events;
        for (const auto& request : gateway.requests(kReportPath)) {
            const auto body = nlohmann::json::parse(request.body, nullptr, false);
            if (body.is_discarded()) {
                continue;
            }
            for (const auto& report : body.value("reports", nlohmann::json::array())) {
                for (const auto& package : report.value("packages", nlohmann::json::array())) {
                    for (const auto& event : package.value("events", nlohmann::json::array())) {
                        if (event.value("code", "") == code) {
                            events.push_back(event);
                        }
                    }
                }
            }
        }
        return events;
    }

    bool waitForEvent(const std::string& code, std::size_t count = 1) {
        return test::waitUntil([&] { return sentEvents(code).size() >= count; });
    }

    int64_t storedEventCount() {
        SQLiteProvider reader("reader");
        return static_cast<int64_t>(reader.query<EventObject>("events").size());
    }

    test::LoopbackGateway gateway;  // outlives the core's last exchange
    test::ScopedEnvironment environment;
};

TEST_F(AnalyticsEndToEnd, ACustomEventFromTheHostsThreadReachesTheGatewayInAReport) {
    ZQBAnalytics::initialize("end-to-end-key");
    ZQBCustomEventParameters parameters;
    parameters.add("boss", "dragon");
    parameters.add("attempts", 3);
    ZQBAnalytics::customEvent("BossFight", parameters);
    ZQBAnalytics::sendBufferedEvents();

    ASSERT_TRUE(waitForEvent("ce"));
    const auto event = sentEvents("ce")[0];
    EXPECT_EQ(event["name"], "BossFight");
    EXPECT_EQ(event["parameters"], (nlohmann::json{{"boss", "dragon"}, {"attempts", 3}}));
    EXPECT_EQ(event["timestamp"], test::ManualClock::kDefaultStartMs);
    EXPECT_EQ(event["sessionId"], test::ManualClock::kDefaultStartMs);
    EXPECT_EQ(event["level"], 1);

    const auto request = gateway.requests(kReportPath).back();
    EXPECT_EQ(request.query, "appId=end-to-end-key");
    EXPECT_TRUE(request.header("DeviceId").has_value());
    test::settleAll();
    EXPECT_EQ(storedEventCount(), 0);
}

TEST_F(AnalyticsEndToEnd, TheStartUpSessionAndDeviceEventsGoOutAtOnce) {
    ZQBAnalytics::initialize("end-to-end-key");
    ASSERT_TRUE(waitForEvent("ss"));
    ASSERT_TRUE(waitForEvent("di"));
    EXPECT_TRUE(test::waitUntil([&] { return !gateway.requests(kConfigPath).empty(); }));
}

TEST_F(AnalyticsEndToEnd, AnswersComeBackThroughTheCompletions) {
    ZQBAnalyticsConfiguration configuration;
    configuration.setUserId(std::string("hero"));
    configuration.setCurrentLevel(int64_t{7});
    ZQBAnalytics::initialize("end-to-end-key", configuration);

    std::mutex mutex;
    std::vector<std::string> texts;
    int64_t level = 0;
    ZQBAnalytics::getUserId([&](const std::string& text) {
        std::lock_guard lock(mutex);
        texts.push_back(text);
    });
    ZQBAnalytics::getSDKVersion([&](const std::string& text) {
        std::lock_guard lock(mutex);
        texts.push_back(text);
    });
    ZQBAnalytics::getCurrentLevel([&](int64_t value) {
        std::lock_guard lock(mutex);
        level = value;
    });
    ASSERT_TRUE(QueueManager::incomeQueue().waitUntilAllOperationsAreFinished());
    std::lock_guard lock(mutex);
    EXPECT_EQ(texts, (std::vector<std::string>{"hero", "2.1.2"}));
    EXPECT_EQ(level, 7);
}

TEST_F(AnalyticsEndToEnd, BackgroundAndForegroundCloseAndContinueTheSession) {
    ZQBAnalytics::initialize("end-to-end-key");
    ASSERT_TRUE(waitForEvent("ss"));
    environment.advance(12'000);
    ZQBHost::applicationWillResignActive();
    ZQBHost::applicationDidEnterBackground();
    ASSERT_TRUE(waitForEvent("ue"));
    EXPECT_EQ(sentEvents("ue")[0]["length"], 12);

    environment.advance(60'000);
    ZQBHost::applicationDidBecomeActive();
    ZQBAnalytics::customEvent("back");
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitForEvent("ce"));
    EXPECT_EQ(sentEvents("ce")[0]["sessionId"], test::ManualClock::kDefaultStartMs);
    EXPECT_EQ(sentEvents("ss").size(), 1u);
}

TEST_F(AnalyticsEndToEnd, TrackingSwitchedOffSendsItsStatusAndThenNothing) {
    ZQBAnalytics::initialize("end-to-end-key");
    ASSERT_TRUE(waitForEvent("ss"));
    ZQBAnalytics::setTrackingAvailability(false);
    ASSERT_TRUE(waitForEvent("ts"));
    EXPECT_EQ(sentEvents("ts")[0]["trackingAllowed"], false);
    test::settleAll();
    const auto requests = gateway.requests(kReportPath).size();

    ZQBAnalytics::customEvent("hidden");
    ZQBAnalytics::sendBufferedEvents();
    environment.advance(3'600'000);
    test::settleAll();
    EXPECT_EQ(gateway.requests(kReportPath).size(), requests);
    EXPECT_EQ(storedEventCount(), 0);
}

}  // namespace
}  // namespace zqb
