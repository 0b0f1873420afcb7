// When and what the library sends, through the public interface: a full stack of events leaves without a
// flush, the request timer sends what waits, switching tracking off deletes the waiting data and stops
// every upload, the upload bodies are byte for byte what the gateway reads, and an upload that got no
// answer says why.

#include "integration/EndToEndFixture.hpp"

#include "host/CurlHttpSession.hpp"
#include "host/Environment.hpp"
#include "support/LogCapture.hpp"
#include "support/RawSocketServer.hpp"
#include "support/UnansweredPort.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zqb {
namespace {

class AnalyticsEndToEndSending : public test::EndToEndTest {};

// An upload body up to the events of its one package, with the test environment's bundle facts.
const std::string kPackageHead =
    R"({"reports":[{"packages":[{"language":"en","appVersion":"1.2.3","appBuildVersion":"45",)"
    R"("sdkVersion":"2.1.2","sdkCodeVersion":10,"bundle":"com.example.zqbtestapp","engine":"Unreal",)";

TEST_F(AnalyticsEndToEndSending, AFullStackOfEventsLeavesWithoutAFlushAndARefusedOneGoesWithTheNext) {
    replyWithConfiguration({{"countForRequest", 3}});
    start();
    const auto uploadsAtStart = reportCount();

    ZQBAnalytics::customEvent("one");
    ZQBAnalytics::customEvent("two");
    test::settleAll();
    EXPECT_EQ(reportCount(), uploadsAtStart);
    EXPECT_EQ(storedEventCount(), 2);

    ZQBAnalytics::customEvent("three");
    ASSERT_TRUE(waitForCustomEvent("three"));
    test::settleAll();
    auto uploads = gateway.requests(kReportPath);
    ASSERT_EQ(uploads.size(), uploadsAtStart + 1);
    EXPECT_EQ(codesIn(uploads.back()), (std::vector<std::string>{"ce", "ce", "ce"}));
    const auto body = nlohmann::json::parse(uploads.back().body);
    EXPECT_EQ(body["reports"].size(), 1u);
    EXPECT_EQ(body["reports"][0]["packages"].size(), 1u);
    EXPECT_EQ(storedEventCount(), 0);
    EXPECT_EQ(rowCount("reports"), 0);

    // The gateway refuses the next stack: its report stays stored and goes out before the one after it.
    gateway.pushReply(kReportPath, {500, ""});
    for (const char* name : {"four", "five", "six"}) {
        ZQBAnalytics::customEvent(name);
    }
    ASSERT_TRUE(test::waitUntil([&] { return reportCount() == uploadsAtStart + 2; }));
    test::settleAll();
    EXPECT_EQ(rowCount("reports"), 1);
    EXPECT_EQ(storedEventCount(), 0);

    for (const char* name : {"seven", "eight", "nine"}) {
        ZQBAnalytics::customEvent(name);
    }
    ASSERT_TRUE(test::waitUntil([&] { return reportCount() == uploadsAtStart + 4; }));
    test::settleAll();
    uploads = gateway.requests(kReportPath);
    ASSERT_EQ(uploads.size(), uploadsAtStart + 4);
    const auto names = [](const test::LoopbackGateway::Request& request) {
        std::vector<std::string> found;
        for (const auto& event : eventsIn(request)) {
            found.push_back(event.value("name", ""));
        }
        return found;
    };
    EXPECT_EQ(names(uploads[uploadsAtStart + 2]), (std::vector<std::string>{"four", "five", "six"}));
    EXPECT_EQ(names(uploads[uploadsAtStart + 3]), (std::vector<std::string>{"seven", "eight", "nine"}));
    EXPECT_EQ(rowCount("reports"), 0);
    EXPECT_EQ(storedEventCount(), 0);
}

// An upload that got no answer at all is logged with the transport's reason after its 400, each way of
// failing with its own, where the gateway's own 400 is logged as it came; the report waits through all of
// them.
TEST_F(AnalyticsEndToEndSending, AnUploadWithoutAnAnswerIsLoggedWithTheTransportsReason) {
    // A stalled exchange is given up after one second without progress instead of sixty.
    host::Environment::shared().setHttpSession(
        std::make_shared<host::CurlHttpSession>(host::CurlHttpSession::Options{
            .idleTimeout = std::chrono::seconds(1), .connectTimeout = std::chrono::seconds(1)}));
    start();
    test::LogCapture log;
    ZQBAnalytics::customEvent("kept");
    const auto failedUpload = [&] {
        log.clear();
        ZQBAnalytics::sendBufferedEvents();
        EXPECT_TRUE(test::waitUntil([&] { return log.contains("The network queue is stopped"); }));
        const auto failures = log.matching("submission failed");
        return failures.size() == 1 ? failures[0] : "lines: " + std::to_string(failures.size());
    };

    test::UnansweredPort refusing(test::UnansweredPort::Kind::refusing);
    test::UnansweredPort mute(test::UnansweredPort::Kind::mute);
    test::RawSocketServer closing("");
    test::RawSocketServer garbage("hello there\r\n\r\n");
    const std::string shown = "] submission failed: [Backend Module] Failed to send Report, status code: 400";
    for (const auto& [address, reason] :
         std::vector<std::pair<std::string, std::string>>{{refusing.baseUrl(), "Connection refused"},
                                                          {closing.baseUrl(), "Empty reply from server"},
                                                          {garbage.baseUrl(), "HTTP/0.9"},
                                                          {mute.baseUrl(), "too slow"}}) {
        ZQBAnalytics::setTestProxyUrl(address);
        const std::string line = failedUpload();
        EXPECT_NE(line.find(shown + " (no answer: "), std::string::npos) << line;
        EXPECT_NE(line.find(reason), std::string::npos) << line;
    }

    ZQBAnalytics::setTestProxyUrl(gateway.baseUrl());
    gateway.pushReply(kReportPath, {400, ""});
    const std::string line = failedUpload();
    EXPECT_EQ(line.substr(line.size() - std::min(line.size(), shown.size())), shown) << line;
    ZQBAnalytics::sendBufferedEvents();
    EXPECT_TRUE(waitForCustomEvent("kept"));
}

// Events are committed in groups, but once the host has reported leaving the foreground every event it
// reported before is in the file, as another process would read it.
TEST_F(AnalyticsEndToEndSending, EveryEventReportedBeforeLeavingTheForegroundIsInTheFileWhenTheCallReturns) {
    replyWithConfiguration({{"countForRequest", 1000}});
    start();
    gateway.setReply(kReportPath, {500, ""});
    constexpr int kCount = 300;
    for (int index = 0; index < kCount; ++index) {
        ZQBAnalytics::customEvent("burst-event");
    }
    goToBackground();
    // Waiting in the events table or packed into a stored report.
    EXPECT_EQ(storedCopies("burst-event"), kCount);
}

// Also in the first moments after initialising, before the start-up has run: a host that is killed right
// after its stopping calls returned loses nothing it reported.
TEST_F(AnalyticsEndToEndSending,
       EveryEventReportedRightAfterInitialisingIsInTheFileWhenTheStoppingCallsReturn) {
    replyWithConfiguration({{"countForRequest", 1000}});
    gateway.setReply(kReportPath, {500, ""});
    ZQBAnalytics::initialize(kApplicationKey);
    constexpr int kCount = 100;
    for (int index = 0; index < kCount; ++index) {
        ZQBAnalytics::customEvent("early-event");
    }
    goToBackground();
    EXPECT_EQ(storedCopies("early-event"), kCount);
}

TEST_F(AnalyticsEndToEndSending, TheRequestTimerSendsWhatWaitsAndASuccessfulSendPushesItsNextTickAway) {
    replyWithConfiguration({{"timeForRequest", 60000}});
    start();  // every timer starts at the start-up instant

    ZQBAnalytics::customEvent("waiting");
    advance(59'999);
    EXPECT_TRUE(sentCustomEvent("waiting").is_null());
    EXPECT_EQ(storedEventCount(), 1);
    advance(1);
    EXPECT_EQ(sentCustomEvent("waiting")["timestamp"], kStart);
    EXPECT_EQ(storedEventCount(), 0);

    // An explicit flush half-way through the next period succeeds, so the next tick comes a whole period
    // after it (start + 150 s), not at start + 120 s.
    advance(30'000);
    ZQBAnalytics::customEvent("flushed");
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitForCustomEvent("flushed"));
    test::settleAll();
    ZQBAnalytics::customEvent("late");
    advance(59'999);
    EXPECT_TRUE(sentCustomEvent("late").is_null());
    EXPECT_EQ(storedEventCount(), 1);
    advance(1);
    EXPECT_EQ(sentCustomEvent("late")["timestamp"], kStart + 90'000);
    EXPECT_EQ(storedEventCount(), 0);
}

TEST_F(AnalyticsEndToEndSending, TrackingOffDeletesWhatWaitsAndNothingLeavesAfterItsLastStatus) {
    replyWithConfiguration();
    start();

    // Data waiting in every table that switching tracking off empties: a report the gateway refused, an
    // event, a level resource and a currency accrual; and a tutorial mark, which stays.
    gateway.setReply(kReportPath, {500, ""});
    ZQBAnalytics::customEvent("refused");
    ZQBAnalytics::tutorial(1);
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(test::waitUntil([&] { return !sentCustomEvent("refused").is_null(); }));
    test::settleAll();
    ZQBAnalytics::customEvent("waiting");
    ZQBAnalytics::currencyAccrual("gold", 5, "quest", ZQBAccrualType::earned);
    test::settleAll();
    ASSERT_EQ(rowCount("reports"), 1);
    ASSERT_EQ(storedEventCount(), 1);
    ASSERT_EQ(rowCount("levelResource"), 1);
    ASSERT_EQ(rowCount("currencyAccrualResources"), 1);
    ASSERT_EQ(rowCount("tutorialMarkEntry"), 1);

    gateway.setReply(kReportPath, {200, "{}"});
    gateway.clearRequests();
    advance(4'000);
    ZQBAnalytics::setTrackingAvailability(false);
    ASSERT_TRUE(waitForEvent("ts"));
    test::settleAll();

    // Only the end of the session and the status itself leave; nothing that waited does.
    std::vector<std::string> codes;
    for (const auto& request : gateway.requests(kReportPath)) {
        for (const auto& code : codesIn(request)) {
            codes.push_back(code);
        }
    }
    EXPECT_EQ(codes, (std::vector<std::string>{"ue", "ts"}));
    EXPECT_EQ(sentEvents("ue")[0]["length"], 4);
    EXPECT_EQ(sentEvents("ts")[0]["trackingAllowed"], false);
    EXPECT_EQ(rowCount("events"), 0);
    EXPECT_EQ(rowCount("reports"), 0);
    EXPECT_EQ(rowCount("levelResource"), 0);
    EXPECT_EQ(rowCount("currencyAccrualResources"), 0);
    EXPECT_EQ(rowCount("users"), 1);
    EXPECT_EQ(rowCount("tutorialMarkEntry"), 1);

    // From now on nothing reaches the gateway, whatever the host does and however long it runs.
    const auto requestsAfterStatus = gateway.requestCount();
    ZQBAnalytics::customEvent("hidden");
    ZQBAnalytics::currencyAccrual("gold", 5, "quest", ZQBAccrualType::earned);
    ZQBAnalytics::levelUp(2, {{"gold", 5}});
    ZQBAnalytics::setUserId("someone");
    ZQBAnalytics::sendBufferedEvents();
    advance(3'600'000);
    goToBackground();
    advance(3'600'000);
    ZQBHost::applicationDidBecomeActive();
    advance(3'600'000);
    EXPECT_EQ(gateway.requestCount(), requestsAfterStatus);
    EXPECT_EQ(rowCount("events"), 0);
    EXPECT_EQ(rowCount("levelResource"), 0);
    EXPECT_EQ(rowCount("currencyAccrualResources"), 0);

    // Switched on again, the library records the consent, opens a new session and its timers send again.
    ZQBAnalytics::setTrackingAvailability(true);
    ASSERT_TRUE(waitForEvent("ts", 2));
    test::settleAll();
    EXPECT_EQ(sentEvents("ts")[1]["trackingAllowed"], true);
    const int64_t now = kStart + 4'000 + 3 * 3'600'000;
    EXPECT_EQ(sentEvents("ss").back()["timestamp"], now);
    ZQBAnalytics::customEvent("visible");
    advance(60'000);
    EXPECT_EQ(sentCustomEvent("visible")["sessionId"], now);
    EXPECT_TRUE(sentCustomEvent("hidden").is_null());
}

TEST_F(AnalyticsEndToEndSending, AStoredReportsBodyIsExactlyWhatTheGatewayReads) {
    replyWithConfiguration();
    start();
    gateway.clearRequests();

    ZQBAnalytics::currencyAccrual("gold", 100, "quest", ZQBAccrualType::earned);
    advance(2'500);
    ZQBCustomEventParameters parameters;
    parameters.add("boss", "dragon");
    ZQBAnalytics::customEvent("BossFight", parameters);
    advance(500);
    ZQBAnalytics::levelUp(2, {{"gold", 70}});
    ASSERT_TRUE(waitForEvent("lu"));
    test::settleAll();

    const auto uploads = gateway.requests(kReportPath);
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].body,
              kPackageHead + R"("events":[)"
                             R"({"code":"ce","timestamp":1700000002500,"sessionId":1700000000000,"level":1,)"
                             R"("name":"BossFight","parameters":{"boss":"dragon"}},)"
                             R"({"code":"ca","timestamp":1700000003000,"sessionId":1700000000000,"level":1,)"
                             R"("earned":{"quest":{"gold":100}}},)"
                             R"({"code":"lu","sessionId":1700000000000,"timestamp":1700000003000,"level":2,)"
                             R"("balance":{"gold":70},"earned":{"gold":100}})"
                             R"(]}]}]})");
    EXPECT_EQ(uploads[0].query, "appId=end-to-end-key");
    EXPECT_EQ(uploads[0].header("X-Id-Encoding"), "base64");
}

TEST_F(AnalyticsEndToEndSending, TheAlivePingIsAOneEventUploadOfExactlyItsCodeAndTime) {
    replyWithConfiguration({{"aliveTimeout", 30000}});
    start();
    gateway.clearRequests();

    advance(29'999);
    EXPECT_EQ(reportCount(), 0u);
    advance(1);
    ASSERT_TRUE(waitForEvent("al"));
    test::settleAll();
    const auto uploads = gateway.requests(kReportPath);
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].body, kPackageHead + R"("events":[{"code":"al","timestamp":1700000030000}]}]}]})");
    // A flash send stores nothing.
    EXPECT_EQ(storedEventCount(), 0);
    EXPECT_EQ(rowCount("reports"), 0);
}

}  // namespace
}  // namespace zqb
