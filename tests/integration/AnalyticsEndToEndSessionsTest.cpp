// Sessions and users through the public interface: a return to the foreground within the session timeout
// continues the session and a later one opens a new session; switching and renaming users ends the old
// user's session before the new user's activity starts, and every upload carries its own user's ids.

#include "integration/EndToEndFixture.hpp"

#include "host/AtomicFile.hpp"
#include "host/Environment.hpp"

#include <cstdint>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <vector>

namespace zqb {
namespace {

constexpr int64_t kSessionTimeout = 300'000;

class AnalyticsEndToEndSessions : public test::EndToEndTest {
protected:
    // The index of the first upload that holds an event matching `match`, or -1.
    template <typename Match>
    int uploadIndexOf(Match match) {
        const auto requests = gateway.requests(kReportPath);
        for (std::size_t index = 0; index < requests.size(); ++index) {
            for (const auto& event : eventsIn(requests[index])) {
                if (match(event)) {
                    return static_cast<int>(index);
                }
            }
        }
        return -1;
    }

    // The upload that carried the custom event `name`.
    std::optional<test::LoopbackGateway::Request> uploadWithCustomEvent(const std::string& name) {
        const int index =
            uploadIndexOf([&](const nlohmann::json& event) { return event.value("name", "") == name; });
        if (index < 0) {
            return std::nullopt;
        }
        return gateway.requests(kReportPath)[static_cast<std::size_t>(index)];
    }

    std::vector<int64_t> sessionStarts() {
        std::vector<int64_t> starts;
        for (const auto& event : sentEvents("ss")) {
            starts.push_back(event["timestamp"].get<int64_t>());
        }
        return starts;
    }
};

TEST_F(AnalyticsEndToEndSessions, AReturnWithinTheTimeoutContinuesTheSessionAndALaterOneOpensANewOne) {
    replyWithConfiguration({{"sessionTimeout", kSessionTimeout}});
    start();

    advance(5'000);
    goToBackground();  // last seen in use at start + 5 s
    advance(kSessionTimeout);
    ZQBHost::applicationDidBecomeActive();
    ZQBAnalytics::customEvent("within");
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitForCustomEvent("within"));
    EXPECT_EQ(sentCustomEvent("within")["sessionId"], kStart);

    advance(2'000);
    goToBackground();  // last seen in use at start + 307 s
    advance(kSessionTimeout + 1);
    ZQBHost::applicationDidBecomeActive();
    ZQBAnalytics::customEvent("after");
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitForCustomEvent("after"));
    test::settleAll();

    const int64_t secondSession = kStart + 5'000 + kSessionTimeout + 2'000 + kSessionTimeout + 1;
    EXPECT_EQ(sentCustomEvent("after")["sessionId"], secondSession);
    EXPECT_EQ(sessionStarts(), (std::vector<int64_t>{kStart, secondSession}));
    const auto engagements = sentEvents("ue");
    ASSERT_EQ(engagements.size(), 2u);
    // Each engagement covers the foreground stretch that just ended, within the first session.
    EXPECT_EQ(engagements[0]["length"], 5);
    EXPECT_EQ(engagements[0]["sessionId"], kStart);
    EXPECT_EQ(engagements[0]["timestamp"], kStart + 5'000);
    EXPECT_EQ(engagements[1]["length"], 2);
    EXPECT_EQ(engagements[1]["sessionId"], kStart);
    EXPECT_EQ(engagements[1]["timestamp"], kStart + 5'000 + kSessionTimeout + 2'000);
}

// A host that reports its transitions and calls right after `initialize`, before the start-up has run, has
// them count where it made them: the session it opened takes its calls, and its stop ends that session,
// although the application is in the background by the time the start-up runs.
TEST_F(AnalyticsEndToEndSessions, TransitionsReportedBeforeTheStartUpRanCountWhereTheHostMadeThem) {
    replyWithConfiguration();
    std::promise<void> release;
    QueueManager::incomeQueue().addOperation([held = release.get_future().share()] { held.wait(); });
    ZQBAnalytics::initialize(kApplicationKey);
    ZQBHost::applicationDidBecomeActive();
    ZQBAnalytics::customEvent("before the stop");
    ZQBAnalytics::levelUp(2);
    // The session lasts 4 s: the clock moves between the calls and the stop, in the queue's order.
    QueueManager::incomeQueue().addOperation([this] { environment.clock().advance(4'000); });
    auto stop = std::async(std::launch::async, [] { ZQBHost::applicationDidEnterBackground(); });
    // The host is in the background before the start-up runs.
    EXPECT_TRUE(test::waitUntil([] {
        return host::Environment::shared().application()->applicationState() ==
               host::ApplicationState::background;
    }));
    release.set_value();
    stop.get();

    ASSERT_TRUE(waitForEvent("ue"));
    ASSERT_TRUE(waitForCustomEvent("before the stop"));
    EXPECT_EQ(sentCustomEvent("before the stop")["sessionId"], kStart);
    ASSERT_EQ(sentEvents("lu").size(), 1u);
    EXPECT_EQ(sentEvents("lu")[0]["level"], 2);
    EXPECT_EQ(sentEvents("ue")[0]["length"], 4);
    EXPECT_EQ(sessionStarts(), std::vector<int64_t>{kStart});
}

TEST_F(AnalyticsEndToEndSessions, ARelaunchContinuesTheStoredSessionWithinTheTimeoutAndOpensANewOneAfter) {
    replyWithConfiguration({{"sessionTimeout", kSessionTimeout}});
    start();

    advance(3'000);
    Core::destroy();  // the process ends: the stop is recorded, its upload may wait for the next launch
    advance(kSessionTimeout);
    ZQBAnalytics::initialize(kApplicationKey);
    ZQBAnalytics::customEvent("relaunched");
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitForCustomEvent("relaunched"));
    ASSERT_TRUE(waitForEvent("ue"));
    EXPECT_EQ(sentCustomEvent("relaunched")["sessionId"], kStart);
    EXPECT_EQ(sentEvents("ue")[0]["length"], 3);
    EXPECT_EQ(sessionStarts(), std::vector<int64_t>{kStart});

    advance(1'000);
    Core::destroy();
    advance(kSessionTimeout + 1);
    ZQBAnalytics::initialize(kApplicationKey);
    ASSERT_TRUE(waitForEvent("ss", 2));
    const int64_t secondSession = kStart + 3'000 + kSessionTimeout + 1'000 + kSessionTimeout + 1;
    EXPECT_EQ(sessionStarts(), (std::vector<int64_t>{kStart, secondSession}));
}

TEST_F(AnalyticsEndToEndSessions, SwitchingUsersEndsTheOldSessionFirstAndEachUploadCarriesItsUsersIds) {
    replyWithConfiguration({{"sessionTimeout", kSessionTimeout}, {"userCounting", true}});
    ZQBAnalyticsConfiguration configuration;
    configuration.setUserId(std::string("alice"));
    start(configuration);

    advance(3'000);
    ZQBAnalytics::customEvent("alice-1");
    advance(1'000);
    ZQBAnalytics::setUserId("bob");  // at start + 4 s
    ZQBAnalytics::customEvent("bob-1");
    advance(2'000);
    ZQBAnalytics::setUserId("alice");  // at start + 6 s: alice was last seen 2 s ago
    ZQBAnalytics::customEvent("alice-2");
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitForCustomEvent("alice-2"));
    test::settleAll();

    const int64_t bobSession = kStart + 4'000;
    EXPECT_EQ(sentCustomEvent("alice-1")["sessionId"], kStart);
    EXPECT_EQ(sentCustomEvent("bob-1")["sessionId"], bobSession);
    // Alice comes back within the timeout: her session goes on, no third session opens.
    EXPECT_EQ(sentCustomEvent("alice-2")["sessionId"], kStart);
    EXPECT_EQ(sessionStarts(), (std::vector<int64_t>{kStart, bobSession}));

    const auto engagements = sentEvents("ue");
    ASSERT_EQ(engagements.size(), 2u);
    EXPECT_EQ(engagements[0]["sessionId"], kStart);
    EXPECT_EQ(engagements[0]["length"], 4);
    EXPECT_EQ(engagements[0]["timestamp"], bobSession);
    EXPECT_EQ(engagements[1]["sessionId"], bobSession);
    EXPECT_EQ(engagements[1]["length"], 2);

    // Alice's session is closed and on its way before bob's session start is recorded.
    const int aliceEnd = uploadIndexOf(
        [&](const nlohmann::json& event) { return event["code"] == "ue" && event["sessionId"] == kStart; });
    const int bobStart = uploadIndexOf([&](const nlohmann::json& event) {
        return event["code"] == "ss" && event["timestamp"] == bobSession;
    });
    ASSERT_GE(aliceEnd, 0);
    ASSERT_GE(bobStart, 0);
    EXPECT_LT(aliceEnd, bobStart);

    // Every upload holds the events of one user and carries that user's id; only a session id of that user
    // appears in it.
    for (const auto& request : gateway.requests(kReportPath)) {
        const auto events = eventsIn(request);
        if (events.empty() || events[0]["code"] == "al") {
            continue;
        }
        const auto userId = request.header("UserId");
        ASSERT_TRUE(userId.has_value());
        const bool isBob = *userId == encodedId("bob");
        EXPECT_TRUE(isBob || *userId == encodedId("alice")) << *userId;
        for (const auto& event : events) {
            const auto session = event.contains("sessionId") ? event["sessionId"] : event["timestamp"];
            if (event["code"] == "di") {
                continue;  // the device event carries no session
            }
            EXPECT_EQ(session, isBob ? bobSession : kStart) << event.dump();
        }
    }
}

TEST_F(AnalyticsEndToEndSessions, RenamingTheActiveUserKeepsItsSessionAndSendsTheNewIds) {
    replyWithConfiguration({{"userCounting", true}});
    ZQBAnalyticsConfiguration configuration;
    configuration.setUserId(std::string("bob"));
    start(configuration);
    const auto identificationsBefore = gateway.requests(kIdentificationPath).size();

    ZQBAnalytics::startProgressionEvent("cave");
    ZQBAnalytics::customEvent("before");
    advance(1'000);
    ZQBAnalytics::replace("bob", "carol");
    ZQBAnalytics::customEvent("after");
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitForCustomEvent("after"));
    test::settleAll();

    // The same user under a new id: the session goes on.
    EXPECT_EQ(sentCustomEvent("before")["sessionId"], kStart);
    EXPECT_EQ(sentCustomEvent("after")["sessionId"], kStart);
    EXPECT_EQ(sessionStarts(), std::vector<int64_t>{kStart});
    // The renamed user's progression was cancelled with the old id.
    EXPECT_EQ(sentCustomEvent("before")["inProgress"], nlohmann::json::array({"cave"}));
    EXPECT_FALSE(sentCustomEvent("after").contains("inProgress"));

    const auto upload = uploadWithCustomEvent("after");
    ASSERT_TRUE(upload.has_value());
    EXPECT_EQ(upload->header("UserId"), encodedId("carol"));
    EXPECT_EQ(upload->header("PreviousUserId"), encodedId("bob"));
    // A rename drops the server-assigned ids: they are asked for again, under the new id.
    ASSERT_GT(gateway.requests(kIdentificationPath).size(), identificationsBefore);
    EXPECT_EQ(gateway.requests(kIdentificationPath).back().header("UserId"), encodedId("carol"));
    EXPECT_EQ(rowCount("users"), 1);
}

TEST_F(AnalyticsEndToEndSessions, TakingOverTheActiveUsersIdEndsItsSessionBeforeTheOtherUserGoesOn) {
    replyWithConfiguration({{"sessionTimeout", kSessionTimeout}, {"userCounting", true}});
    ZQBAnalyticsConfiguration configuration;
    configuration.setUserId(std::string("alice"));
    start(configuration);

    advance(1'000);
    ZQBAnalytics::setUserId("bob");  // bob's session opens at start + 1 s
    advance(1'000);
    ZQBAnalytics::setUserId("alice");  // bob last seen at start + 2 s
    advance(1'000);
    ZQBAnalytics::customEvent("alice-last");
    // Bob takes the id of the active user: alice's record goes, bob becomes active under her id.
    ZQBAnalytics::replace("bob", "alice");
    ZQBAnalytics::customEvent("bob-as-alice");
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitForCustomEvent("bob-as-alice"));
    test::settleAll();

    const int64_t bobSession = kStart + 1'000;
    // Bob's session goes on: he was last seen 1 s before.
    EXPECT_EQ(sentCustomEvent("bob-as-alice")["sessionId"], bobSession);
    EXPECT_EQ(sessionStarts(), (std::vector<int64_t>{kStart, bobSession}));

    // Alice's last stretch (start + 2 s to start + 3 s) is closed in her session, and that upload leaves
    // before any event of bob under the new id.
    const int aliceEnd = uploadIndexOf([&](const nlohmann::json& event) {
        return event["code"] == "ue" && event["sessionId"] == kStart && event["timestamp"] == kStart + 3'000;
    });
    const int bobGoesOn =
        uploadIndexOf([&](const nlohmann::json& event) { return event.value("name", "") == "bob-as-alice"; });
    ASSERT_GE(aliceEnd, 0);
    ASSERT_GE(bobGoesOn, 0);
    EXPECT_LT(aliceEnd, bobGoesOn);

    const auto requests = gateway.requests(kReportPath);
    const auto& aliceUpload = requests[static_cast<std::size_t>(aliceEnd)];
    EXPECT_EQ(aliceUpload.header("UserId"), encodedId("alice"));
    EXPECT_FALSE(aliceUpload.header("PreviousUserId").has_value());
    const auto& bobUpload = requests[static_cast<std::size_t>(bobGoesOn)];
    EXPECT_EQ(bobUpload.header("UserId"), encodedId("alice"));
    EXPECT_EQ(bobUpload.header("PreviousUserId"), encodedId("bob"));

    // Only bob's record is left, with nothing of alice's waiting.
    EXPECT_EQ(rowCount("users"), 1);
    EXPECT_EQ(storedEventCount(), 0);
    EXPECT_EQ(rowCount("reports"), 0);
}

TEST_F(AnalyticsEndToEndSessions, TheEnginePluginsUserIsImportedAndActiveFromTheFirstStart) {
    const auto legacy = environment.directory() / "vorantel" / kApplicationKey / "migrationData.json";
    std::filesystem::create_directories(legacy.parent_path());
    ASSERT_TRUE(host::AtomicFile::write(
        legacy, R"({"userId":"legacy","level":7,"userCard":{"gold":3},"tutorCompletedSteps":[1]})", 0600));
    replyWithConfiguration();
    start();

    const auto sessionStart = sentEvents("ss");
    ASSERT_EQ(sessionStart.size(), 1u);
    EXPECT_EQ(sessionStart[0]["level"], 7);
    EXPECT_EQ(gateway.requests(kReportPath).front().header("UserId"), encodedId("legacy"));
    EXPECT_EQ(rowCount("users"), 1);
    EXPECT_EQ(rowCount("peopleCards"), 1);
    EXPECT_EQ(rowCount("tutorialMarkEntry"), 1);
}

}  // namespace
}  // namespace zqb
