// The first round through the public interface: a custom event, the start-up session, the answers of the
// queries, a background stay and tracking switched off.

#include "integration/EndToEndFixture.hpp"

#include <ZQBAnalytics/ZQBHost.hpp>

#include "foundation/QueueManager.hpp"
#include "host/FileKeychain.hpp"
#include "support/DecimalCommaLocale.hpp"
#include "support/LogCapture.hpp"
#include "support/RawSocketServer.hpp"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <future>
#include <iterator>
#include <limits>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

namespace zqb {
namespace {

class AnalyticsEndToEnd : public test::EndToEndTest {};

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

// What the argument checks cut, drop or repair is what is stored and sent; a refused call leaves nothing.
TEST_F(AnalyticsEndToEnd, ArgumentsArriveAsTheChecksLeftThemAndARefusedCallLeavesNothing) {
    ZQBAnalytics::initialize("end-to-end-key");
    ZQBAnalytics::customEvent("\x01\xE2\x80\x8B");  // only a control and a format character: empty
    ZQBCustomEventParameters parameters;
    parameters.add(std::string(33, 'k'), std::string(256, 't'));
    parameters.add("nan", std::numeric_limits<double>::quiet_NaN());
    parameters.add("mood",
                   "a\xFF"
                   "b\xC3");  // a stray byte and a truncated sequence
    ZQBAnalytics::customEvent(std::string(73, 'n'), parameters);
    ZQBAnalytics::sendBufferedEvents();

    ASSERT_TRUE(waitForEvent("ce"));
    test::settleAll();
    const auto events = sentEvents("ce");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["name"], std::string(72, 'n'));
    EXPECT_EQ(events[0]["parameters"],
              (nlohmann::json{{std::string(32, 'k'), std::string(255, 't')}, {"mood", "a\uFFFDb\uFFFD"}}));
    EXPECT_EQ(storedEventCount(), 0);
}

// A key that could not travel in the query as it is would make every request fail, with the events kept for
// good under it: it is refused at the start-up. A key of the characters that stand for themselves in a
// query's value arrives as it was given, also with a "?", a "/" or an "=" of its own after the one that ends
// the name.
TEST_F(AnalyticsEndToEnd, AKeyThatCannotBeSentIsRefusedAndOneThatCanArrivesAsItIs) {
    test::LogCapture log;
    ZQBAnalytics::initialize("my key&more");
    ZQBAnalytics::customEvent("refused");
    test::settleAll();
    EXPECT_TRUE(log.contains("The application key argument value holds the character U+0020"));
    EXPECT_TRUE(log.contains("ERROR Execution of the Initialize method was canceled!"));
    EXPECT_EQ(gateway.requests().size(), 0u);
    Core::destroy();
    test::settleAll();

    for (const std::string key : {"Ab-9._~!$'()*,", "ab:cd", "x/y=z"}) {
        gateway.clearRequests();
        ZQBAnalytics::initialize(key);
        ZQBAnalytics::customEvent("sent");
        ZQBAnalytics::sendBufferedEvents();
        ASSERT_TRUE(waitForCustomEvent("sent")) << key;
        for (const auto& request : gateway.requests()) {
            EXPECT_EQ(request.query, "appId=" + key) << request.path;
        }
        Core::destroy();
        test::settleAll();
    }

    // The loopback gateway's server library answers 400 to a target with a second "?", which the standard
    // allows in a query: a bare listener shows the request lines as they arrived.
    const std::string key = "p@q?r";
    test::RawSocketServer bare("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}");
    ZQBAnalytics::setTestProxyUrl(bare.baseUrl());
    ZQBAnalytics::initialize(key);
    ZQBAnalytics::customEvent("sent");
    ZQBAnalytics::sendBufferedEvents();
    const std::string reportLine = "POST /v2/analytics/report?appId=" + key + " HTTP/1.1\r\n";
    ASSERT_TRUE(test::waitUntil([&] { return bare.received().find(reportLine) != std::string::npos; }));
    Core::destroy();
    test::settleAll();
    const std::string received = bare.received();
    const std::regex requestLine("POST (/v2/[a-z/]+)(\\?[^ ]*) HTTP/1\\.1\r\n");
    int lines = 0;
    for (auto line = std::sregex_iterator(received.begin(), received.end(), requestLine);
         line != std::sregex_iterator(); ++line, ++lines) {
        EXPECT_EQ((*line)[2], "?appId=" + key) << (*line)[1];
    }
    EXPECT_GE(lines, 2);
}

// Sent once per project, a referral with nothing to report would keep the real one from ever being sent.
TEST_F(AnalyticsEndToEnd, AReferralWithNothingToReportLeavesTheRealOneToBeSent) {
    test::LogCapture log;
    start();
    ZQBAnalytics::referrer({{ZQBReferralProperty("custom"), "only"}});
    ZQBAnalytics::referrer({{ZQBReferralProperty::source(), "ads"}, {ZQBReferralProperty("custom"), "x"}});
    ASSERT_TRUE(waitForEvent("rf"));
    test::settleAll();
    const auto referrals = sentEvents("rf");
    ASSERT_EQ(referrals.size(), 1u);
    EXPECT_EQ(referrals[0]["source"], "ads");
    EXPECT_TRUE(log.contains("ERROR Execution of the Referrer method was canceled!"));
    EXPECT_FALSE(log.contains("The referrer has been sent"));
}

// A host that put the process under a decimal-comma locale (setlocale(LC_ALL, "") with de_DE.UTF-8) still
// sends numbers with a decimal point: the gateway would read "0,5" as two values, or not at all.
TEST_F(AnalyticsEndToEnd, NumbersGoOutWithADecimalPointUnderADecimalCommaLocale) {
    test::DecimalCommaLocale locale;
    if (!locale.available()) {
        GTEST_SKIP() << locale.reason();
    }
    ZQBAnalytics::initialize("end-to-end-key");
    ZQBCustomEventParameters parameters;
    parameters.add("ratio", 0.5);
    ZQBAnalytics::customEvent("Loot", parameters);
    ZQBAnalytics::adImpression("net", 0.25, std::nullopt, std::nullopt);
    ZQBAnalytics::realCurrencyPayment("order-1", 1.75, "gems", "EUR");

    ASSERT_TRUE(waitForEvent("rp"));
    ASSERT_TRUE(waitForEvent("adrv"));
    EXPECT_EQ(sentCustomEvent("Loot")["parameters"]["ratio"], 0.5);
    std::string bodies;
    for (const auto& request : gateway.requests(kReportPath)) {
        bodies += request.body;
    }
    EXPECT_NE(bodies.find(R"("ratio":0.5)"), std::string::npos);
    EXPECT_NE(bodies.find(R"(0.25)"), std::string::npos);
    EXPECT_NE(bodies.find(R"(1.75)"), std::string::npos);
    EXPECT_FALSE(std::regex_search(bodies, std::regex("[0-9],[0-9]")));
}

TEST_F(AnalyticsEndToEnd, TheStartUpSessionAndDeviceEventsGoOutAtOnce) {
    ZQBAnalytics::initialize("end-to-end-key");
    ASSERT_TRUE(waitForEvent("ss"));
    ASSERT_TRUE(waitForEvent("di"));
    EXPECT_TRUE(test::waitUntil([&] { return !gateway.requests(kConfigPath).empty(); }));
}

// The advertising identifier the host set leaves the device only while the user allows tracking: the prompt
// answered "authorized", or, without a prompt, the tracking flag on. Otherwise neither the device event nor
// the device id (its answer and the header of every request) carries it.
TEST_F(AnalyticsEndToEnd, TheAdvertisingIdentifierLeavesTheDeviceOnlyWhileTheUserAllowsTracking) {
    const std::string advertisingId = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F";
    const std::string vendorId = *environment.device().identifierForVendor();
    using Status = ZQBTrackingAuthorizationStatus;
    const std::vector<std::optional<Status>> answers{std::nullopt, Status::notDetermined, Status::restricted,
                                                     Status::denied, Status::authorized};
    std::size_t launches = 0;
    for (const bool trackingEnabled : {false, true}) {
        for (const auto& answer : answers) {
            SCOPED_TRACE("flag " + std::to_string(trackingEnabled) + ", answer " +
                         (answer ? std::to_string(static_cast<int>(*answer)) : std::string("none")));
            const bool allowed = answer ? *answer == Status::authorized : trackingEnabled;
            const std::string deviceId = allowed ? advertisingId : vendorId;
            ZQBHost::setAdvertisingIdentifier(advertisingId, trackingEnabled);
            ZQBHost::setTrackingAuthorizationStatus(answer);
            ZQBAnalytics::initialize(kApplicationKey);
            ++launches;
            ASSERT_TRUE(waitForEvent("di", launches));

            const auto event = sentEvents("di").back();
            EXPECT_EQ(event.contains("idfa"), allowed);
            EXPECT_EQ(event.value("idfa", ""), allowed ? advertisingId : "");
            EXPECT_EQ(event["isLimitAdTrackingEnabled"], !allowed);
            EXPECT_EQ(event["idfv"], vendorId);
            std::size_t carriers = 0;
            for (const auto& request : gateway.requests(kReportPath)) {
                const auto events = eventsIn(request);
                if (std::find(events.begin(), events.end(), event) != events.end()) {
                    ++carriers;
                    EXPECT_EQ(request.header("DeviceId"), encodedId(deviceId));
                }
            }
            EXPECT_GE(carriers, 1u);
            const auto answered = std::make_shared<std::promise<std::string>>();
            ZQBAnalytics::getDeviceId([answered](const std::string& id) { answered->set_value(id); });
            auto id = answered->get_future();
            ASSERT_EQ(id.wait_for(std::chrono::seconds(30)), std::future_status::ready);
            EXPECT_EQ(id.get(), deviceId);
            Core::destroy();
            test::settleAll();
        }
    }
}

// A keychain that cannot be written (a file stands where its folder should be) is named in an ERROR, and
// the new device's ids reach it at the next launch that can write it, with the installation's id that the
// first launch reported.
TEST_F(AnalyticsEndToEnd, IdsARefusingKeychainMissedReachItAtTheNextLaunch) {
    test::LogCapture log;
    const auto blocked = environment.directory() / "blocked";
    std::ofstream(blocked) << "a file where the keychain's folder should be";
    const auto refusing = blocked / "keychain.json";
    host::Environment::shared().setKeychain(std::make_shared<host::FileKeychain>(refusing));
    ZQBAnalytics::initialize(kApplicationKey);
    ASSERT_TRUE(waitForEvent("di"));
    const std::string uuid = sentEvents("di").back()["uuid"];
    EXPECT_EQ(log.count("ERROR [Keychain] The keychain file " + refusing.string() +
                        " refused the device identifiers (status -36)"),
              1u);
    Core::destroy();
    test::settleAll();

    const auto writable = environment.directory() / "keychain" / "keychain.json";
    host::Environment::shared().setKeychain(std::make_shared<host::FileKeychain>(writable));
    ZQBAnalytics::initialize(kApplicationKey);
    ASSERT_TRUE(waitForEvent("di", 2));
    EXPECT_EQ(sentEvents("di").back()["uuid"], uuid);
    std::ifstream file(writable);
    const std::string keychainText((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(keychainText.find(uuid), std::string::npos) << keychainText;
    EXPECT_EQ(log.count("[Keychain]"), 1u);
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
