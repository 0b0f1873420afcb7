// The reporting operations: levels with their resources, progression, tutorial steps, balances, referrals,
// the plain getters, and the exact JSON the records are stored with. The logic's decisions are read from the
// recording services; the stored JSON also from the table, through the library's own graph.

#include "LogicTestBed.hpp"

#include "database/Connection.hpp"
#include "database/SQLiteProvider.hpp"
#include "foundation/SdkConstraints.hpp"

#include "core/ServiceFactory.hpp"
#include "core/StateManager.hpp"
#include "support/SharedDatabase.hpp"

#include <gtest/gtest.h>

namespace zqb::test {
namespace {

class AnalyticsLogicEventsTest : public ::testing::Test {
protected:
    void SetUp() override { bed.start(); }

    // The one event of `code` the logic handed over to be stored and has not flushed since: what the table
    // holds.
    std::string storedJson(const std::string& code) {
        const auto stored = events.unflushed(code);
        return stored.size() == 1 ? stored[0].json.dump() : "<" + std::to_string(stored.size()) + " events>";
    }

    LogicTestBed bed{LogicTestBed::recordingOptions()};
    RecordingEventsService& events = *bed.recording->events;
};

TEST_F(AnalyticsLogicEventsTest, LevelUpByOneReportsTheResourcesOfTheFinishedLevel) {
    bed.income([&] {
        bed.logic->levelUp(4, {});  // a jump: switches the aggregation on, reports nothing
        bed.logic->currencyAccrual("gold", 10, "quest", ZQBAccrualType::earned);
        bed.logic->currencyAccrual("gems", 2, "shop", ZQBAccrualType::bought);
        bed.logic->virtualCurrencyPayment("sword", "weapon", 1, {{"gold", 4}, {"gems", 1}});
        bed.logic->levelUp(5, {});
    });
    const auto levelUps = events.flushed("lu");
    ASSERT_EQ(levelUps.size(), 2u);
    EXPECT_EQ(levelUps[0].json.dump(),
              R"({"code":"lu","sessionId":1700000000000,"timestamp":1700000000000,"level":4})");
    EXPECT_EQ(levelUps[1].json.dump(),
              R"({"code":"lu","sessionId":1700000000000,"timestamp":1700000000000,"level":5,)"
              R"("spent":{"gems":1,"gold":4},"earned":{"gold":10},"bought":{"gems":2}})");
    EXPECT_EQ(bed.user().level, 5);
    EXPECT_EQ(bed.rowCount("levelResource"), 0);
    EXPECT_EQ(bed.rowCount("currencyAccrualResources"), 0);
    // The pending accruals went out with the level they were gathered on.
    const auto accruals = events.flushed("ca");
    ASSERT_EQ(accruals.size(), 1u);
    EXPECT_EQ(accruals[0].json["level"], 4);
}

TEST_F(AnalyticsLogicEventsTest, LevelUpByMoreThanOneReportsNoResourcesButDropsThem) {
    bed.income([&] {
        bed.logic->levelUp(4, {});
        bed.logic->currencyAccrual("gold", 10, "quest", ZQBAccrualType::earned);
        bed.logic->levelUp(7, {{"gold", 10}});
    });
    const auto levelUps = events.flushed("lu");
    ASSERT_EQ(levelUps.size(), 2u);
    EXPECT_EQ(levelUps[1].json.dump(),
              R"({"code":"lu","sessionId":1700000000000,"timestamp":1700000000000,"level":7,)"
              R"("balance":{"gold":10}})");
    EXPECT_EQ(bed.rowCount("levelResource"), 0);
}

// Resources whose rows the file refuses to delete go with a later level-up instead: reported with this one
// too, they would be counted twice.
TEST_F(AnalyticsLogicEventsTest, ResourcesWhoseRowsCannotBeDeletedAreReportedOnceLater) {
    bed.income([&] {
        bed.logic->levelUp(4, {});
        bed.logic->currencyAccrual("gold", 10, "quest", ZQBAccrualType::earned);
    });
    bed.committed();
    const auto file = (*zqb::test::databaseFolder() / SQLiteProvider::fileName).string();
    Connection(file).execute(
        "CREATE TRIGGER refuse BEFORE DELETE ON levelResource BEGIN SELECT RAISE(ABORT, 'refused'); END");
    bed.income([&] { bed.logic->levelUp(5, {}); });
    EXPECT_EQ(bed.rowCount("levelResource"), 1);
    EXPECT_EQ(bed.log.count("ERROR LU resources cannot be removed; they are reported with a later level-up"),
              1U);

    Connection(file).execute("DROP TRIGGER refuse");
    bed.income([&] {
        bed.logic->currencyAccrual("gold", 3, "quest", ZQBAccrualType::earned);
        bed.logic->levelUp(6, {});
    });
    const auto levelUps = events.flushed("lu");
    ASSERT_EQ(levelUps.size(), 3u);
    EXPECT_EQ(levelUps[1].json.dump(),
              R"({"code":"lu","sessionId":1700000000000,"timestamp":1700000000000,"level":5})");
    EXPECT_EQ(levelUps[2].json["earned"].dump(), R"({"gold":13})");
    EXPECT_EQ(bed.rowCount("levelResource"), 0);
}

TEST_F(AnalyticsLogicEventsTest, SettingTheLevelDropsResourcesOnlyWhenItChanges) {
    bed.income([&] {
        bed.logic->levelUp(2, {});
        bed.logic->currencyAccrual("gold", 10, "quest", ZQBAccrualType::earned);
        bed.logic->setCurrentLevel(2);
    });
    EXPECT_EQ(bed.rowCount("levelResource"), 1);
    EXPECT_TRUE(bed.log.contains("Set level [2] for user [" + bed.deviceId() + "]"));

    bed.income([&] { bed.logic->setCurrentLevel(6); });
    EXPECT_EQ(bed.rowCount("levelResource"), 0);
    EXPECT_EQ(bed.user().level, 6);
    EXPECT_FALSE(bed.user().isResourceAggregationEnable);
}

TEST_F(AnalyticsLogicEventsTest, AProgressionMarksTheEventsMadeWhileItRuns) {
    ZQBFinishProgressionEventParametersLocal finish;
    finish.successfulCompletion = true;
    finish.earned = {{"gold", 3}};
    bed.income([&] {
        bed.logic->startProgressionEvent("cave", {3, std::string("map")});
        bed.logic->customEvent("inside", {});
        bed.logic->finishProgressionEvent("forest", finish);
    });
    EXPECT_TRUE(bed.log.contains("Activated ProgressionEvent: [cave]"));
    EXPECT_TRUE(
        bed.log.contains("Progression event can't be finished!\n\tStarted progression event name is "
                         "[cave]\n\tCurrent event name is "
                         "[forest]"));
    EXPECT_EQ(storedJson("ce"),
              R"({"code":"ce","timestamp":1700000000000,"sessionId":1700000000000,"level":1,)"
              R"("name":"inside","inProgress":["cave"]})");

    bed.advance(1'200);
    bed.income([&] { bed.logic->finishProgressionEvent("cave", finish); });
    const auto progressions = events.flushed("pe");
    ASSERT_EQ(progressions.size(), 1u);
    EXPECT_EQ(
        progressions[0].json.dump(),
        R"({"code":"pe","timestamp":1700000001200,"sessionId":1700000000000,"level":1,"name":"cave",)"
        R"("earned":{"gold":3},"parameters":{"success":true,"duration":2,"difficulty":3,"source":"map"}})");
    EXPECT_TRUE(bed.log.contains("The ProgressionEvent [cave] is finished"));

    bed.income([&] {
        bed.logic->customEvent("outside", {});
        bed.logic->finishProgressionEvent("cave", finish);
    });
    const auto customs = events.events("ce");
    ASSERT_EQ(customs.size(), 2u);
    EXPECT_FALSE(customs[1].json.contains("inProgress"));
    EXPECT_TRUE(bed.log.contains(
        "Progression event can't be finished!\n\tDoesn't have any started progression events"));
}

TEST_F(AnalyticsLogicEventsTest,
       AFinishInTheSameMillisecondOrAfterTheClockWentBackHasNoDurationAndAGivenOneWins) {
    ZQBFinishProgressionEventParametersLocal finish;
    bed.income([&] {
        bed.logic->startProgressionEvent("quick", {});
        bed.logic->finishProgressionEvent("quick", finish);
        bed.logic->startProgressionEvent("timed", {});
        finish.duration = 42;
        bed.logic->finishProgressionEvent("timed", finish);
    });
    // A clock set back while the progression runs gives no duration, not a negative one.
    finish.duration = 0;
    bed.income([&] { bed.logic->startProgressionEvent("rewound", {}); });
    bed.advance(-5'000);
    bed.income([&] { bed.logic->finishProgressionEvent("rewound", finish); });
    const auto progressions = events.flushed("pe");
    ASSERT_EQ(progressions.size(), 3u);
    EXPECT_EQ(progressions[0].json["parameters"].dump(), R"({"success":false})");
    EXPECT_EQ(progressions[1].json["parameters"].dump(), R"({"success":false,"duration":42})");
    EXPECT_EQ(progressions[2].json["parameters"].dump(), R"({"success":false})");
}

TEST_F(AnalyticsLogicEventsTest, ATutorialStepCountsOncePerUser) {
    bed.income([&] {
        bed.logic->tutorial(-1);
        bed.logic->tutorial(-1);
    });
    EXPECT_TRUE(bed.log.contains("The tutorial step [-1] is saved"));
    EXPECT_TRUE(bed.log.contains("Tutorial step [-1] is already used"));
    EXPECT_EQ(storedJson("tr"),
              R"({"code":"tr","timestamp":1700000000000,"sessionId":1700000000000,"level":1,"step":-1})");

    bed.income([&] {
        bed.logic->setUserId("ann");
        bed.logic->setUserId("bob");
        bed.logic->tutorial(-1);
    });
    EXPECT_EQ(bed.rowCount("tutorialMarkEntry"), 2);
}

TEST_F(AnalyticsLogicEventsTest, TheCurrentBalanceIsReportedOncePerLoadedUser) {
    bed.income([&] {
        bed.logic->currentBalance({{"gold", 5}});
        bed.logic->currentBalance({{"gold", 6}});
    });
    EXPECT_EQ(
        storedJson("cb"),
        R"({"code":"cb","timestamp":1700000000000,"sessionId":1700000000000,"level":1,"balance":{"gold":5}})");
    EXPECT_TRUE(bed.log.contains("The CurrentBalance event is already sent, in this game session"));
}

TEST_F(AnalyticsLogicEventsTest, TheReferrerIsSentOncePerProject) {
    AnalyticsProtocol::ReferralData data{{ZQBReferralProperty::source(), "ads"},
                                         {ZQBReferralProperty::term(), "rpg"},
                                         {ZQBReferralProperty("custom"), "ignored"}};
    bed.income([&] { bed.logic->referrer(data); });
    const auto referrals = events.flushed("rf");
    ASSERT_EQ(referrals.size(), 1u);
    EXPECT_EQ(
        referrals[0].json.dump(),
        R"({"code":"rf","timestamp":1700000000000,"sessionId":1700000000000,"source":"ads","term":"rpg"})");
    EXPECT_TRUE(bed.project().isReferralSent);

    bed.income([&] { bed.logic->referrer(data); });
    EXPECT_TRUE(bed.log.contains("The referrer has been sent"));
    EXPECT_EQ(events.events("rf").size(), 1u);
}

TEST_F(AnalyticsLogicEventsTest, GatedOperationsNeedASession) {
    const auto before = events.events().size();
    bed.income([&] {
        bed.state->getActiveUser()->sessionId.reset();
        bed.logic->customEvent("lost", {});
        bed.logic->tutorial(3);
        bed.logic->levelUp(2, {});
        bed.logic->currentBalance({{"gold", 1}});
        bed.logic->currencyAccrual("gold", 1, "quest", ZQBAccrualType::earned);
        bed.logic->startProgressionEvent("cave", {});
    });
    EXPECT_EQ(events.events().size(), before);
    EXPECT_EQ(bed.user().level, 1);
    EXPECT_EQ(bed.rowCount("tutorialMarkEntry"), 0);
    EXPECT_EQ(bed.rowCount("currencyAccrualResources"), 1);
}

TEST_F(AnalyticsLogicEventsTest, GettersAnswerOnTheIncomeQueue) {
    SdkConstraints::setSdkVersion("2.1.2-engine");
    std::vector<std::string> texts;
    int64_t level = 0;
    bool tracking = false;
    bed.income([&] {
        bed.logic->getSDKVersion([&](std::string text) { texts.push_back(std::move(text)); });
        bed.logic->getDeviceId([&](std::string text) { texts.push_back(std::move(text)); });
        bed.logic->getUserId([&](std::string text) { texts.push_back(std::move(text)); });
        bed.logic->getCurrentLevel([&](int64_t value) { level = value; });
        bed.logic->getTrackingAvailability([&](bool value) { tracking = value; });
    });
    SdkConstraints::setSdkVersion(SdkConstraints::defaultSdkVersion);
    EXPECT_EQ(texts, (std::vector<std::string>{"2.1.2-engine", bed.deviceId(), bed.deviceId()}));
    EXPECT_EQ(level, 1);
    EXPECT_TRUE(tracking);
}

// Through the events service and its table: the rows as another connection reads them.
TEST(AnalyticsLogicStoredJsonTest, RecordsAreStoredWithTheirExactJson) {
    LogicTestBed bed;
    bed.start();
    const auto storedJson = [&bed](const std::string& code) {
        const auto stored = bed.storedEvents(code);
        return stored.size() == 1 ? stored[0].json.dump() : "<" + std::to_string(stored.size()) + " events>";
    };
    bed.income([&] {
        bed.logic->customEvent(
            "match", {{"mode", AnyCodable(std::string("duel"))}, {"score", AnyCodable(int64_t{7})}});
        bed.logic->virtualCurrencyPayment("sword", "weapon", 1, {{"gold", 4}});
        bed.logic->socialNetworkConnect({"mastodon"});
        bed.logic->socialNetworkPost({"mastodon"}, "win");
        bed.logic->adImpression("ads-net", 0.25, std::nullopt, std::string("banner"));
    });
    EXPECT_EQ(storedJson("ce"),
              R"({"code":"ce","timestamp":1700000000000,"sessionId":1700000000000,"level":1,)"
              R"("name":"match","parameters":{"mode":"duel","score":7}})");
    EXPECT_EQ(storedJson("vp"),
              R"({"code":"vp","timestamp":1700000000000,"sessionId":1700000000000,"level":1,)"
              R"("purchaseId":"sword","purchaseAmount":1,"purchasePrice":{"gold":4},)"
              R"("purchaseType":"weapon"})");
    EXPECT_EQ(storedJson("sc"),
              R"({"code":"sc","timestamp":1700000000000,"sessionId":1700000000000,"level":1,)"
              R"("socialNetwork":"mastodon"})");
    EXPECT_EQ(storedJson("sp"),
              R"({"code":"sp","timestamp":1700000000000,"sessionId":1700000000000,"level":1,)"
              R"("socialNetwork":"mastodon","postReason":"win"})");
    EXPECT_EQ(storedJson("adrv"),
              R"({"code":"adrv","timestamp":1700000000000,"sessionId":1700000000000,)"
              R"("source":"sdk","ad_network":"ads-net","ad_unit":"banner","revenue":0.25})");
}

}  // namespace
}  // namespace zqb::test
