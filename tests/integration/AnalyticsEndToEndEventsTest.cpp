// Levels and progression through the public interface: a level-up reports the balances it was given and the
// currency spent, earned and bought on the level it finishes; a progression names itself in the events made
// while it runs and reports its outcome when it finishes.

#include "integration/EndToEndFixture.hpp"
#include "support/LogCapture.hpp"
#include "support/RuleMessages.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace zqb {
namespace {

class AnalyticsEndToEndEvents : public test::EndToEndTest {
protected:
    // The members of an event as it arrived, in their order.
    static std::vector<std::string> keysOf(const std::string& text) {
        std::vector<std::string> keys;
        const auto event = nlohmann::ordered_json::parse(text);
        for (const auto& [key, value] : event.items()) {
            keys.push_back(key);
        }
        return keys;
    }
};

TEST_F(AnalyticsEndToEndEvents, ALevelUpReportsItsBalancesAndTheResourcesAggregatedOnTheFinishedLevel) {
    replyWithConfiguration();
    start();

    ZQBAnalytics::currencyAccrual("gold", 100, "quest", ZQBAccrualType::earned);
    ZQBAnalytics::currencyAccrual("gold", 20, "quest", ZQBAccrualType::earned);
    ZQBAnalytics::currencyAccrual("gems", 5, "shop", ZQBAccrualType::bought);
    ZQBAnalytics::virtualCurrencyPayment("sword", "weapon", 1, {{"gold", 30}});
    advance(1'000);
    ZQBAnalytics::levelUp(2, {{"gems", 5}, {"gold", 90}});
    ASSERT_TRUE(waitForEvent("lu"));  // a level-up sends at once
    test::settleAll();

    const auto uploads = gateway.requests(kReportPath);
    EXPECT_EQ(codesIn(uploads.back()), (std::vector<std::string>{"vp", "ca", "lu"}));
    EXPECT_EQ(sentEvents("lu")[0], (nlohmann::json{{"code", "lu"},
                                                   {"sessionId", kStart},
                                                   {"timestamp", kStart + 1'000},
                                                   {"level", 2},
                                                   {"balance", {{"gems", 5}, {"gold", 90}}},
                                                   {"spent", {{"gold", 30}}},
                                                   {"earned", {{"gold", 120}}},
                                                   {"bought", {{"gems", 5}}}}));
    EXPECT_EQ(keysOf(sentEventTexts("lu")[0]),
              (std::vector<std::string>{"code", "sessionId", "timestamp", "level", "balance", "spent",
                                        "earned", "bought"}));
    // The accruals of the finished level leave as one event in that level, just before the level-up.
    EXPECT_EQ(sentEvents("ca")[0], (nlohmann::json{{"code", "ca"},
                                                   {"timestamp", kStart + 1'000},
                                                   {"sessionId", kStart},
                                                   {"level", 1},
                                                   {"earned", {{"quest", {{"gold", 120}}}}},
                                                   {"bought", {{"shop", {{"gems", 5}}}}}}));
    EXPECT_EQ(sentEvents("vp")[0]["level"], 1);
    EXPECT_EQ(rowCount("levelResource"), 0);
    EXPECT_EQ(rowCount("currencyAccrualResources"), 0);

    // A jump of several levels reports no resources and still drops those gathered.
    ZQBAnalytics::currencyAccrual("gold", 7, "quest", ZQBAccrualType::earned);
    ZQBAnalytics::levelUp(5);
    ASSERT_TRUE(waitForEvent("lu", 2));
    test::settleAll();
    EXPECT_EQ(sentEventTexts("lu")[1],
              R"({"code":"lu","sessionId":1700000000000,"timestamp":1700000001000,"level":5})");
    EXPECT_EQ(sentEvents("ca")[1]["level"], 2);
    EXPECT_EQ(sentEvents("ca")[1]["earned"], (nlohmann::json{{"quest", {{"gold", 7}}}}));
    EXPECT_EQ(rowCount("levelResource"), 0);

    // The next single step reports what was gathered since the jump.
    ZQBAnalytics::currencyAccrual("gems", 2, "shop", ZQBAccrualType::bought);
    ZQBAnalytics::levelUp(6);
    ASSERT_TRUE(waitForEvent("lu", 3));
    const auto last = sentEvents("lu")[2];
    EXPECT_EQ(last["level"], 6);
    EXPECT_EQ(last["bought"], (nlohmann::json{{"gems", 2}}));
    EXPECT_FALSE(last.contains("earned"));
    EXPECT_FALSE(last.contains("spent"));
    EXPECT_FALSE(last.contains("balance"));
}

TEST_F(AnalyticsEndToEndEvents, AnAccrualOfNoKnownTypeIsRefusedAndGathersNothing) {
    replyWithConfiguration();
    start();
    test::LogCapture log;
    ZQBAnalytics::currencyAccrual("gold", 5, "quest", static_cast<ZQBAccrualType>(7));
    test::settleAll();
    EXPECT_EQ(rowCount("currencyAccrualResources"), 0);
    EXPECT_EQ(log.matching("CurrencyAccrual"),
              (std::vector<std::string>{
                  test::error("CurrencyAccrual",
                              "The accrual type [7] \n\tParameter must be a case of ZQBAccrualType (0 "
                              "earned, 1 bought)."),
                  test::canceled("CurrencyAccrual")}));

    ZQBAnalytics::currencyAccrual("gems", 2, "shop", ZQBAccrualType::bought);
    ZQBAnalytics::levelUp(2);
    ASSERT_TRUE(waitForEvent("lu"));
    test::settleAll();
    ASSERT_EQ(sentEvents("ca").size(), 1u);
    EXPECT_EQ(sentEvents("ca")[0]["bought"], (nlohmann::json{{"shop", {{"gems", 2}}}}));
    EXPECT_FALSE(sentEvents("ca")[0].contains("earned"));
}

TEST_F(AnalyticsEndToEndEvents, ALevelSetByTheHostReportsNoResourcesAtItsLevelUpButTheNextLevelDoes) {
    replyWithConfiguration();
    start();

    ZQBAnalytics::currencyAccrual("gold", 10, "quest", ZQBAccrualType::earned);
    ZQBAnalytics::setCurrentLevel(4);
    ZQBAnalytics::currencyAccrual("gold", 20, "quest", ZQBAccrualType::earned);
    ZQBAnalytics::levelUp(5);
    ASSERT_TRUE(waitForEvent("lu"));
    test::settleAll();

    // The level the host set was not reached by a level-up: what it earned there is not known per level,
    // only as accruals.
    const auto levelUp = sentEvents("lu")[0];
    EXPECT_EQ(levelUp["level"], 5);
    EXPECT_FALSE(levelUp.contains("earned"));
    const auto accruals = sentEvents("ca");
    ASSERT_EQ(accruals.size(), 2u);
    EXPECT_EQ(accruals[0]["level"], 1);
    EXPECT_EQ(accruals[0]["earned"], (nlohmann::json{{"quest", {{"gold", 10}}}}));
    EXPECT_EQ(accruals[1]["level"], 4);
    EXPECT_EQ(accruals[1]["earned"], (nlohmann::json{{"quest", {{"gold", 20}}}}));

    ZQBAnalytics::currencyAccrual("gold", 3, "quest", ZQBAccrualType::earned);
    ZQBAnalytics::levelUp(6);
    ASSERT_TRUE(waitForEvent("lu", 2));
    EXPECT_EQ(sentEvents("lu")[1]["earned"], (nlohmann::json{{"gold", 3}}));
}

TEST_F(AnalyticsEndToEndEvents, AProgressionNamesItselfInTheEventsMadeWhileItRunsAndReportsItsOutcome) {
    constexpr int64_t kSessionTimeout = 300'000;
    replyWithConfiguration({{"sessionTimeout", kSessionTimeout}});
    start();

    ZQBStartProgressionEventParameters startParameters;
    startParameters.setDifficulty(3);
    startParameters.setSource(std::string("map"));
    ZQBAnalytics::startProgressionEvent("dungeon", startParameters);
    advance(1'200);
    ZQBAnalytics::customEvent("inside");
    ZQBFinishProgressionEventParameters finish;
    finish.setSuccessfulCompletion(true);
    finish.setSpent({{"gold", 10}});
    ZQBAnalytics::finishProgressionEvent("dungeon", finish);
    ASSERT_TRUE(waitForEvent("pe"));  // a finish sends at once
    test::settleAll();

    EXPECT_EQ(codesIn(gateway.requests(kReportPath).back()), (std::vector<std::string>{"ce", "pe"}));
    EXPECT_EQ(sentCustomEvent("inside")["inProgress"], nlohmann::json::array({"dungeon"}));
    // The finished progression reports itself, not as in progress; 1.2 s count as 2.
    EXPECT_EQ(
        sentEventTexts("pe")[0],
        R"({"code":"pe","timestamp":1700000001200,"sessionId":1700000000000,"level":1,"name":"dungeon",)"
        R"("spent":{"gold":10},"parameters":{"success":true,"duration":2,"difficulty":3,"source":"map"}})");

    ZQBAnalytics::customEvent("outside");
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitForCustomEvent("outside"));
    EXPECT_FALSE(sentCustomEvent("outside").contains("inProgress"));

    // A progression held across a background stay names itself in the end of the old session and in the
    // start of the new one.
    ZQBAnalytics::startProgressionEvent("boss-room");
    advance(3'000);
    goToBackground();
    advance(kSessionTimeout + 1);
    ZQBHost::applicationDidBecomeActive();
    ZQBFinishProgressionEventParameters timed;
    timed.setDuration(30);
    ZQBAnalytics::finishProgressionEvent("boss-room", timed);
    ASSERT_TRUE(waitForEvent("pe", 2));
    test::settleAll();

    const int64_t newSession = kStart + 1'200 + 3'000 + kSessionTimeout + 1;
    const auto engagement = sentEvents("ue").back();
    EXPECT_EQ(engagement["inProgress"], nlohmann::json::array({"boss-room"}));
    EXPECT_EQ(engagement["length"], 4);
    const auto sessionStart = sentEvents("ss").back();
    EXPECT_EQ(sessionStart["timestamp"], newSession);
    EXPECT_EQ(sessionStart["inProgress"], nlohmann::json::array({"boss-room"}));
    EXPECT_EQ(sentEventTexts("pe")[1],
              R"({"code":"pe","timestamp":)" + std::to_string(newSession) + R"(,"sessionId":)" +
                  std::to_string(newSession) +
                  R"(,"level":1,"name":"boss-room","parameters":{"success":false,"duration":30}})");
}

}  // namespace
}  // namespace zqb
