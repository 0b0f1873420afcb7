// Who the user is and whether tracking is allowed: setting and replacing user ids, the sessions around a
// switch of user, and what switching tracking off deletes and sends. What the logic stores, flushes and
// times around a switch of user is read from the recording services; switching tracking off also through the
// library's own tables and gateway.

#include "LogicTestBed.hpp"

#include "core/CoreFactory.hpp"
#include "core/StateManager.hpp"
#include "database/SQLiteProvider.hpp"
#include "model/CurrencyAccrualResource.hpp"
#include "model/LevelResource.hpp"
#include "model/PeopleCard.hpp"
#include "repositories/CurrencyAccrualResourcesRepository.hpp"
#include "repositories/PeopleRepository.hpp"

#include <gtest/gtest.h>

namespace zqb::test {
namespace {

constexpr int64_t kHour = 3'600'000;

TEST(AnalyticsLogicUserTest, RefusedUserIdsChangeNothing) {
    LogicTestBed bed;
    bed.start();
    const int64_t before = bed.user().idKey;

    bed.income([&] { bed.logic->setUserId(""); });
    EXPECT_TRUE(bed.log.contains("The current user is already a default user!"));

    bed.income([&] { bed.logic->setUserId("ann"); });
    bed.log.clear();
    bed.income([&] { bed.logic->setUserId("ann"); });
    EXPECT_TRUE(bed.log.contains("The current userId is equal to the new userId [ann]!"));
    const std::string deviceId = bed.deviceId();
    bed.income([&] { bed.logic->setUserId(deviceId); });
    EXPECT_TRUE(bed.log.contains("The userId matches the deviceId [" + bed.deviceId() +
                                 "]!\t\nSetting up a userId is not possible!"));
    EXPECT_FALSE(bed.log.contains("changed to"));
    EXPECT_EQ(bed.user().userId, "ann");
    EXPECT_EQ(bed.user().idKey, before);  // the default user took the id: one record throughout
}

TEST(AnalyticsLogicUserTest, TheDefaultUserTakingAnIdKeepsItsSession) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    bed.start();
    bed.advance(5'000);
    bed.income([&] { bed.logic->setUserId("ann"); });
    EXPECT_TRUE(bed.log.contains("The userId [" + bed.deviceId() + "] changed to [ann]"));
    EXPECT_EQ(bed.user().userId, "ann");
    EXPECT_EQ(bed.user().sessionId, kStart);
    EXPECT_TRUE(events.events("ue").empty());
    EXPECT_EQ(events.events("ss").size(), 1u);
}

TEST(AnalyticsLogicUserTest, SwitchingToAnotherUserClosesTheOldSessionBeforeTheNewOneOpens) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    bed.start();
    bed.income([&] {
        bed.logic->setUserId("ann");
        bed.logic->startProgressionEvent("cave", {});
        bed.logic->currentBalance({{"gold", 1}});
    });
    bed.advance(5'000);
    bed.income([&] { bed.logic->setUserId("bob"); });
    const int64_t bobSession = kStart + 5'000;

    EXPECT_EQ(bed.user().userId, "bob");
    EXPECT_EQ(bed.user().sessionId, bobSession);
    const auto engagements = events.flushed("ue");
    ASSERT_EQ(engagements.size(), 1u);
    EXPECT_EQ(engagements[0].json["sessionId"], kStart);
    EXPECT_EQ(engagements[0].json["inProgress"].dump(), R"(["cave"])");
    const auto starts = events.flushed("ss");
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[1].json["timestamp"], bobSession);
    EXPECT_FALSE(starts[1].json.contains("inProgress"));  // the location ended with the old user
    EXPECT_TRUE(bed.log.contains("The location: cave has been canceled"));

    bed.income([&] {
        bed.logic->customEvent("after", {});
        bed.logic->currentBalance({{"gold", 2}});  // once per loaded user: bob has not sent one
    });
    const auto stored = events.unflushed();
    ASSERT_EQ(stored.size(), 2u);
    for (const auto& event : stored) {
        EXPECT_EQ(event.json["sessionId"], bobSession);
        EXPECT_EQ(event.userKey, bed.user().idKey);
    }
}

TEST(AnalyticsLogicUserTest, TheDefaultUserSwitchingToAStoredUserEndsItsSessionFirst) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    const auto bob = bed.storeUser("bob", kStart - kHour);
    bed.start();
    const int64_t defaultKey = bed.user().idKey;
    bed.advance(3'000);
    bed.income([&] { bed.logic->setUserId("bob"); });

    EXPECT_EQ(bed.user().idKey, bob->idKey);
    const auto engagements = events.flushed("ue");
    ASSERT_EQ(engagements.size(), 1u);
    EXPECT_EQ(engagements[0].json["sessionId"], kStart);
    EXPECT_EQ(engagements[0].json["length"], 3);
    // Bob was away for longer than the timeout: a session of his own.
    EXPECT_EQ(bed.user().sessionId, kStart + 3'000);
    EXPECT_EQ(events.flushed("ss").size(), 2u);

    bed.income([&] { bed.logic->customEvent("after", {}); });
    const auto stored = events.unflushed("ce");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].json["sessionId"], kStart + 3'000);
    EXPECT_NE(stored[0].userKey, defaultKey);
}

TEST(AnalyticsLogicUserTest, AnEmptyIdReturnsToTheDefaultUser) {
    LogicTestBed bed;
    bed.start();
    bed.income([&] {
        bed.logic->setUserId("ann");
        bed.logic->setUserId("bob");
    });
    bed.log.clear();
    bed.income([&] { bed.logic->setUserId(""); });
    EXPECT_TRUE(bed.user().isDefaultUser);
    EXPECT_EQ(bed.user().userId, bed.deviceId());
    EXPECT_TRUE(bed.log.contains("Default user activated!"));
    EXPECT_TRUE(bed.log.contains("Stop activity"));
}

TEST(AnalyticsLogicUserTest, RefusedReplacementsChangeNothing) {
    LogicTestBed bed;
    bed.start();
    bed.income([&] { bed.logic->setUserId("ann"); });
    bed.income([&] { bed.logic->replaceUserId("nobody", "x"); });
    EXPECT_TRUE(bed.log.contains("The userId: [nobody] not found!\t\nReplace not possible!"));
    const std::string deviceId = bed.deviceId();
    bed.income([&] { bed.logic->replaceUserId("ann", deviceId); });
    EXPECT_TRUE(bed.log.contains("The toUserId matches the deviceId [" + bed.deviceId() +
                                 "]!\t\nReplace not possible!"));
    bed.income([&] { bed.logic->replaceUserId("ann", "ann"); });
    EXPECT_TRUE(bed.log.contains("The fromUserId is equal to the toUserId [ann]!\t\nReplace not possible!"));
    EXPECT_EQ(bed.user().userId, "ann");
}

TEST(AnalyticsLogicUserTest, ReplacingRenamesTheUserAndDeletesAnotherHolderOfTheNewId) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto holder = bed.storeUser("carl", kStart - kHour);
    bed.income([&] {
        bed.coreFactory->currencyAccrualResourcesRepository()->insert(
            CurrencyAccrualResource(1700000000000, "gold", 3, "shop", ZQBAccrualType::earned, holder->idKey));
        bed.coreFactory->peopleRepository()->insert(std::make_shared<PeopleCard>(holder->idKey));
    });
    bed.start();
    bed.income([&] { bed.logic->setUserId("ann"); });
    const int64_t ann = bed.user().idKey;

    bed.income([&] { bed.logic->replaceUserId("ann", "carl"); });
    const User renamed = bed.user();
    EXPECT_EQ(renamed.idKey, ann);
    EXPECT_EQ(renamed.userId, "carl");
    EXPECT_EQ(renamed.previousUserId, "ann");
    EXPECT_EQ(renamed.sessionId, kStart);
    EXPECT_EQ(bed.rowCount("users"), 1);
    EXPECT_EQ(bed.rowCount("currencyAccrualResources"), 0);
    for (const auto& card : bed.observer->query<PeopleCard>("peopleCards")) {
        EXPECT_NE(card->userId, holder->idKey);
    }
    EXPECT_TRUE(bed.log.contains("Remove inactive users [carl]"));
    EXPECT_TRUE(bed.log.contains("UserId: [ann] renamed to [carl]"));
    EXPECT_TRUE(bed.recording->events->events("ue").empty());
}

TEST(AnalyticsLogicUserTest, ReplacingIntoTheActiveIdClosesTheHoldersSessionAndOpensTheNewUsers) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    const auto ann = bed.storeUser("ann", kStart - kHour);
    bed.start();
    bed.income([&] {
        bed.logic->setUserId("carl");  // the default user becomes carl
        bed.logic->startProgressionEvent("cave", {});
    });
    const int64_t carl = bed.user().idKey;
    bed.advance(4'000);

    bed.income([&] { bed.logic->replaceUserId("ann", "carl"); });
    EXPECT_EQ(bed.user().idKey, ann->idKey);
    EXPECT_EQ(bed.user().userId, "carl");
    EXPECT_EQ(bed.rowCount("users"), 1);
    // Carl's stretch ended with his session and his progression; ann opened a session of her own.
    const auto engagements = events.flushed("ue");
    ASSERT_EQ(engagements.size(), 1u);
    EXPECT_EQ(engagements[0].json["sessionId"], kStart);
    EXPECT_EQ(engagements[0].json["inProgress"].dump(), R"(["cave"])");
    EXPECT_EQ(bed.user().sessionId, kStart + 4'000);
    const auto starts = events.flushed("ss");
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_FALSE(starts[1].json.contains("inProgress"));
    EXPECT_TRUE(bed.log.contains("The location: cave has been canceled"));

    bed.income([&] {
        bed.logic->customEvent("after", {});
        bed.logic->finishProgressionEvent("cave", {true, 0, {}, {}});
    });
    const auto stored = events.unflushed("ce");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].json["sessionId"], kStart + 4'000);
    EXPECT_FALSE(stored[0].json.contains("inProgress"));
    EXPECT_EQ(stored[0].userKey, ann->idKey);
    EXPECT_NE(carl, ann->idKey);
    EXPECT_TRUE(bed.log.contains("Doesn't have any started progression events"));
}

// Away from the foreground nothing is in use, in the background as much as while inactive (resigned active
// under an alert or a call): a switch of user, a takeover or tracking switched on opens no session and starts
// no timer there. The next becoming-active opens the session, so no time away is counted.
enum class AwayState { inactive, background };
constexpr AwayState kAwayStates[] = {AwayState::inactive, AwayState::background};

void goAway(LogicTestBed& bed, AwayState away) {
    if (away == AwayState::inactive) {
        bed.toInactive();
    } else {
        bed.toBackground();
    }
}

const char* awayName(AwayState away) {
    return away == AwayState::inactive ? "inactive" : "background";
}

// Every event the logic handed to the recording services, stored or sent at once.
std::size_t recordedEvents(const LogicTestBed& bed) {
    return bed.recording->events->events().size() + bed.recording->reports->flashEvents().size();
}

TEST(AnalyticsLogicUserTest, ASwitchOfUserAwayFromTheForegroundOpensTheNewSessionAtTheNextActivation) {
    for (const AwayState away : kAwayStates) {
        SCOPED_TRACE(awayName(away));
        LogicTestBed bed(LogicTestBed::recordingOptions());
        const auto& events = *bed.recording->events;
        auto& timers = *bed.recording->timers;
        bed.start();
        bed.income([&] {
            bed.logic->setUserId("ann");
            bed.logic->startProgressionEvent("cave", {});
        });
        bed.advance(5'000);
        goAway(bed, away);
        ASSERT_EQ(events.flushed("ue").size(), 1u);

        bed.income([&] { bed.logic->setUserId("bob"); });
        bed.settle();
        EXPECT_EQ(bed.user().userId, "bob");
        EXPECT_FALSE(bed.user().sessionId);
        EXPECT_FALSE(timers.running());
        EXPECT_TRUE(bed.log.contains("The location: cave has been canceled"));
        const auto recordedBefore = recordedEvents(bed);
        bed.advance(kHour);
        bed.income([&] { timers.tickIfRunning(); });
        EXPECT_EQ(recordedEvents(bed), recordedBefore);  // no alive ping, no engagement of the hour away

        bed.toForeground();
        const int64_t bobSession = bed.now();
        EXPECT_EQ(bed.user().sessionId, bobSession);
        EXPECT_TRUE(timers.running());
        const auto starts = events.flushed("ss");
        ASSERT_EQ(starts.size(), 2u);
        EXPECT_EQ(starts[1].json["timestamp"], bobSession);
        EXPECT_FALSE(starts[1].json.contains("inProgress"));
        bed.advance(3'000);
        bed.toBackground();
        const auto engagements = events.flushed("ue");
        ASSERT_EQ(engagements.size(), 2u);
        EXPECT_EQ(engagements[1].json["length"], 3);
        EXPECT_EQ(engagements[1].json["sessionId"], bobSession);
    }
}

TEST(AnalyticsLogicUserTest, ATakeoverAwayFromTheForegroundOpensTheNewSessionAtTheNextActivation) {
    for (const AwayState away : kAwayStates) {
        SCOPED_TRACE(awayName(away));
        LogicTestBed bed(LogicTestBed::recordingOptions());
        const auto& events = *bed.recording->events;
        const auto& timers = *bed.recording->timers;
        const auto ann = bed.storeUser("ann", kStart - kHour);
        bed.start();
        bed.income([&] {
            bed.logic->setUserId("carl");
            bed.logic->startProgressionEvent("cave", {});
        });
        bed.advance(4'000);
        goAway(bed, away);

        bed.income([&] { bed.logic->replaceUserId("ann", "carl"); });
        bed.settle();
        EXPECT_EQ(bed.user().idKey, ann->idKey);
        EXPECT_EQ(bed.user().sessionId, kStart - kHour);  // ann's old session, not reopened while away
        EXPECT_FALSE(timers.running());
        EXPECT_EQ(events.events("ss").size(), 1u);
        bed.advance(kHour);

        bed.toForeground();
        EXPECT_EQ(bed.user().sessionId, bed.now());
        EXPECT_TRUE(timers.running());
        const auto starts = events.flushed("ss");
        ASSERT_EQ(starts.size(), 2u);
        EXPECT_FALSE(starts[1].json.contains("inProgress"));
        bed.income([&] { bed.logic->customEvent("after", {}); });
        const auto stored = events.unflushed("ce");
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_FALSE(stored[0].json.contains("inProgress"));
    }
}

TEST(AnalyticsLogicUserTest, TrackingSwitchedOnAwayFromTheForegroundStartsTheActivityAtTheNextActivation) {
    for (const AwayState away : kAwayStates) {
        SCOPED_TRACE(awayName(away));
        LogicTestBed bed(LogicTestBed::recordingOptions());
        const auto& timers = *bed.recording->timers;
        bed.start();
        bed.income([&] { bed.logic->setTrackingAvailability(false); });
        goAway(bed, away);
        bed.log.clear();
        const auto configRequests = bed.requestCount(LogicTestBed::kConfigPath);

        bed.income([&] { bed.logic->setTrackingAvailability(true); });
        bed.settle();
        EXPECT_TRUE(bed.project().trackingAvailable);
        EXPECT_EQ(bed.requestCount(LogicTestBed::kConfigPath), configRequests + 1);
        EXPECT_FALSE(timers.running());
        EXPECT_FALSE(bed.log.contains("Start activity"));

        bed.toForeground();
        EXPECT_TRUE(timers.running());
        EXPECT_TRUE(bed.log.contains("Start activity"));
    }
    // Also when the switch is the first start of an SDK that start-up left unstarted.
    for (const AwayState away : kAwayStates) {
        SCOPED_TRACE(awayName(away));
        LogicTestBed bed(LogicTestBed::recordingOptions());
        const auto& events = *bed.recording->events;
        const auto& timers = *bed.recording->timers;
        bed.income([&] { bed.state->getActiveProject()->trackingAvailable = false; });
        bed.start();
        goAway(bed, away);

        bed.income([&] { bed.logic->setTrackingAvailability(true); });
        bed.settle();
        EXPECT_TRUE(bed.income([&] { return bed.logic->started(); }));
        EXPECT_FALSE(timers.running());
        EXPECT_TRUE(events.events("ss").empty());
        bed.advance(kHour);

        bed.toForeground();
        EXPECT_TRUE(timers.running());
        const auto starts = events.flushed("ss");
        ASSERT_EQ(starts.size(), 1u);
        EXPECT_EQ(starts[0].json["timestamp"], bed.now());
    }
}

TEST(AnalyticsLogicUserTest, SwitchingTrackingOffEmptiesTheDataTablesAndSendsTheLastEvents) {
    LogicTestBed bed;
    bed.start();
    bed.gateway.setReply(LogicTestBed::kReportPath, {500, ""});
    bed.income([&] {
        bed.logic->customEvent("kept_back", {});
        bed.logic->tutorial(1);
        bed.logic->currencyAccrual("gold", 5, "quest", ZQBAccrualType::earned);
        bed.logic->sendBufferedEvents();
    });
    bed.settle();
    bed.income([&] { bed.logic->customEvent("stored", {}); });
    ASSERT_GE(bed.rowCount("reports"), 1);
    ASSERT_EQ(bed.rowCount("events"), 1);
    const int64_t users = bed.rowCount("users");
    const int64_t cards = bed.rowCount("peopleCards");

    bed.gateway.setReply(LogicTestBed::kReportPath, {200, "{}"});
    bed.gateway.clearRequests();
    bed.advance(2'000);
    bed.income([&] { bed.logic->setTrackingAvailability(false); });
    bed.settle();

    EXPECT_FALSE(bed.project().trackingAvailable);
    EXPECT_EQ(bed.rowCount("events"), 0);
    EXPECT_EQ(bed.rowCount("reports"), 0);
    EXPECT_EQ(bed.rowCount("levelResource"), 0);
    EXPECT_EQ(bed.rowCount("currencyAccrualResources"), 0);
    EXPECT_EQ(bed.rowCount("users"), users);
    EXPECT_EQ(bed.rowCount("peopleCards"), cards);
    EXPECT_EQ(bed.rowCount("tutorialMarkEntry"), 1);
    // Only what the switch itself records goes out.
    const auto sent = bed.sentEvents();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0]["code"], "ue");
    EXPECT_EQ(sent[1].dump(), R"({"code":"ts","timestamp":1700000002000,"trackingAllowed":false})");
    EXPECT_FALSE(bed.income([&] { return bed.state->getActiveDeviceIdentifiers()->vorantelId.has_value(); }));
    EXPECT_EQ(bed.pendingTimers(), 0u);

    // Nothing more is recorded or sent.
    bed.income([&] { bed.logic->customEvent("late", {}); });
    bed.advance(kHour);
    EXPECT_EQ(bed.rowCount("events"), 0);
    EXPECT_EQ(bed.sentEvents().size(), 2u);
}

TEST(AnalyticsLogicUserTest, SwitchingTrackingBackOnResumesWithAStatus) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    bed.start();
    bed.income([&] { bed.logic->setTrackingAvailability(false); });
    bed.settle();
    const auto configRequests = bed.requestCount(LogicTestBed::kConfigPath);

    bed.income([&] { bed.logic->setTrackingAvailability(true); });
    bed.settle();
    EXPECT_TRUE(bed.project().trackingAvailable);
    // Both handed over while tracking is on, so that both are stored.
    const auto statuses = bed.recording->events->flushed("ts");
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_TRUE(statuses[0].trackingAvailable);
    EXPECT_EQ(statuses[1].json["trackingAllowed"], true);
    EXPECT_TRUE(statuses[1].trackingAvailable);
    EXPECT_EQ(bed.requestCount(LogicTestBed::kConfigPath), configRequests + 1);
    EXPECT_TRUE(bed.recording->timers->running());
}

TEST(AnalyticsLogicUserTest, SwitchingTrackingOnStartsAnSdkThatNeverStarted) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    bed.income([&] { bed.state->getActiveProject()->trackingAvailable = false; });
    bed.start();
    ASSERT_FALSE(bed.income([&] { return bed.logic->started(); }));

    bed.income([&] { bed.logic->setTrackingAvailability(true); });
    bed.settle();
    EXPECT_TRUE(bed.income([&] { return bed.logic->started(); }));
    EXPECT_EQ(events.flushed("ss").size(), 1u);
    // The flash one of the start, then the stored one.
    EXPECT_EQ(bed.recording->reports->flashEvents("ts").size(), 1u);
    const auto statuses = events.flushed("ts");
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_TRUE(statuses[0].trackingAvailable);
}

TEST(AnalyticsLogicUserTest, RequestingTheCurrentTrackingStateOnlyLogs) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    const auto& reports = *bed.recording->reports;
    bed.start();
    bed.income([&] { bed.logic->setTrackingAvailability(true); });
    EXPECT_TRUE(bed.log.contains("Tracking status is already Enable"));
    const auto statuses = events.unflushed("ts");
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_TRUE(statuses[0].trackingAvailable);

    bed.income([&] { bed.logic->setTrackingAvailability(false); });
    bed.settle();
    bed.log.clear();
    const auto stored = events.events().size();
    const auto flashed = reports.flashEvents().size();
    bed.income([&] { bed.logic->setTrackingAvailability(false); });
    bed.settle();
    EXPECT_TRUE(bed.log.contains("Tracking status is already Disable"));
    EXPECT_EQ(events.events().size(), stored);
    EXPECT_EQ(reports.flashEvents().size(), flashed);
}

}  // namespace
}  // namespace zqb::test
