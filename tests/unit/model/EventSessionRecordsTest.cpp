#include "model/Alive.hpp"
#include "model/CurrencyAccrual.hpp"
#include "model/DeviceInfo.hpp"
#include "model/PushOpened.hpp"
#include "model/PushToken.hpp"
#include "model/Referral.hpp"
#include "model/SessionStart.hpp"
#include "model/TrackingStatus.hpp"
#include "model/Tutorial.hpp"
#include "model/UserEngagement.hpp"
#include "support/LogCapture.hpp"
#include "support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace zqb;

namespace {

constexpr int64_t kSessionNow = 1700000000000;
const std::vector<std::string> kSessionDungeon{"Dungeon"};

}  // namespace

TEST(EventSessionRecords, SessionEngagementAliveAndTrackingStatus) {
    test::ScopedEnvironment env(kSessionNow);

    // The session start carries the session's id as its time, whenever it is built.
    const SessionStart start(kSessionNow - 60000, 3);
    EXPECT_EQ(start.getJson(), R"({"code":"ss","timestamp":1699999940000,"level":3})");
    EXPECT_EQ(start.description(), "\t code: ss\n\t timestamp: 1699999940000\n\t level: 3\n");
    EXPECT_EQ(SessionStart(5, 1, kSessionDungeon).getJson(),
              R"({"code":"ss","timestamp":5,"level":1,"inProgress":["Dungeon"]})");

    // Engagement: level and length before sessionId in JSON, sessionId before level in the text.
    const UserEngagement engagement(kSessionNow, 4, 17, kSessionNow - 1000, kSessionDungeon);
    EXPECT_EQ(engagement.getJson(),
              R"({"code":"ue","timestamp":1700000000000,"level":4,"length":17,"sessionId":1699999999000,)"
              R"("inProgress":["Dungeon"]})");
    EXPECT_EQ(engagement.description(),
              "\t code: ue\n\t timestamp: 1700000000000\n\t sessionId: 1699999999000\n\t level: 4\n"
              "\t length: 17\n\t inProgress: [\"Dungeon\"]\n");

    EXPECT_EQ(Alive(kSessionNow).getJson(), R"({"code":"al","timestamp":1700000000000})");
    EXPECT_EQ(Alive(kSessionNow).description(), "\t code: al\n\t timestamp: 1700000000000\n");

    EXPECT_EQ(TrackingStatus(kSessionNow, false).getJson(),
              R"({"code":"ts","timestamp":1700000000000,"trackingAllowed":false})");
    EXPECT_EQ(TrackingStatus(kSessionNow, true).description(),
              "\t code: ts\n\t timestamp: 1700000000000\n\t trackingAllowed: true\n");
    EXPECT_EQ(TrackingStatus(kSessionNow, true).eventCode(), "ts");
}

TEST(EventSessionRecords, CurrencyAccrualNestsBySourceThenCurrency) {
    test::ScopedEnvironment env(kSessionNow);

    const CurrencyAccrual boughtOnly(kSessionNow, kSessionNow - 5, 2, std::nullopt,
                                     CurrencyAccrual::Accruals{{"shop", {{"gold", 5}}}}, kSessionDungeon);
    EXPECT_EQ(boughtOnly.getJson(),
              R"({"code":"ca","timestamp":1700000000000,"sessionId":1699999999995,"level":2,)"
              R"("bought":{"shop":{"gold":5}}})");
    EXPECT_EQ(boughtOnly.description(),
              "\t code: ca\n\t timestamp: 1700000000000\n\t sessionId: 1699999999995\n\t level: 2\n"
              "\t bought: \n\t\tsource: shop \n\t\tresources:\n\t\t\tresource: gold amount: 5\n");

    CurrencyAccrual both(
        kSessionNow, 7, 1,
        CurrencyAccrual::Accruals{{"quest", {{"gems", 1}, {"gold", 2}}}, {"ad", {{"gold", 3}}}},
        CurrencyAccrual::Accruals{});
    both.timestamp = 42;  // folding an earlier session takes the newest row's time
    EXPECT_EQ(both.getJson(), R"({"code":"ca","timestamp":42,"sessionId":7,"level":1,)"
                              R"("earned":{"ad":{"gold":3},"quest":{"gems":1,"gold":2}},"bought":{}})");
    EXPECT_EQ(both.description(),
              "\t code: ca\n\t timestamp: 42\n\t sessionId: 7\n\t level: 1\n"
              "\t earned: \n\t\tsource: ad \n\t\tresources:\n\t\t\tresource: gold amount: 3\n"
              "\t\tsource: quest \n\t\tresources:\n\t\t\tresource: gems amount: 1\n\t\t\tresource: gold "
              "amount: 2\n");
}

TEST(EventSessionRecords, DeviceInfoKeysTextFormAndDiagonal) {
    test::ScopedEnvironment env(kSessionNow);

    const DeviceInfo full(kSessionNow, "17.1", "iOS", 460, "1170x2532", 5.8476543, "Maker", "Phone14,2", 3600,
                          0, false, "IDFV", "IDFA", "UUID-1", 2);
    EXPECT_EQ(full.getJson(),
              R"({"code":"di","timestamp":1700000000000,"osVersion":"17.1","os":"iOS","displayPpi":460,)"
              R"("displayResolution":"1170x2532","displayDiagonal":5.84765,"manufacturer":"Maker",)"
              R"("model":"Phone14,2","timeZoneOffset":3600,"rooted":0,"isLimitAdTrackingEnabled":false,)"
              R"("idfv":"IDFV","idfa":"IDFA","uuid":"UUID-1","sandboxState":2})");
    EXPECT_EQ(full.description(),
              "\t code: di\n\t timestamp: 1700000000000\n\t osVersion: 17.1\n\t os: iOS\n\t displayPpi: 460\n"
              "\t displayResolution: 1170x2532\n\t displayDiagonal: 5.84765\n\t manufacturer: Maker\n"
              "\t model: Phone14,2\n\t timeZoneOffset: 3600\n\t rooted: 0\n\t sandboxState: 2\n"
              "\t isLimitAdTrackingEnabled: false\n\t idfv: IDFV\n\t idfa: IDFA\n\t uuid: UUID-1\n");

    EXPECT_EQ(DeviceInfo::roundedDiagonal(5.8476550), 5.84766);
    EXPECT_EQ(DeviceInfo::roundedDiagonal(-5.8476550), -5.84766);
    EXPECT_EQ(DeviceInfo::roundedDiagonal(6.0), 6.0);

    // No screen facts and no advertising id: those keys are left out, "rooted" stays a number.
    const DeviceInfo bare(kSessionNow, "6.1", "Linux", std::nullopt, std::nullopt, std::nullopt, "", "x86_64",
                          -18000, 1, true, std::nullopt, std::nullopt, "UUID-2", 0);
    EXPECT_EQ(bare.getJson(),
              R"({"code":"di","timestamp":1700000000000,"osVersion":"6.1","os":"Linux","manufacturer":"",)"
              R"("model":"x86_64","timeZoneOffset":-18000,"rooted":1,"isLimitAdTrackingEnabled":true,)"
              R"("uuid":"UUID-2","sandboxState":0})");

    // A diagonal that is not finite is unknown: the event stays encodable, without the key and without a log.
    test::LogCapture log;
    for (const double bad : {std::nan(""), std::numeric_limits<double>::infinity(), 1e306}) {
        DeviceInfo odd(kSessionNow, "6.1", "Linux", 100, "1x1", bad, "", "m", 0, 0, true, std::nullopt,
                       std::nullopt, "U", 0);
        EXPECT_FALSE(odd.displayDiagonal.has_value()) << bad;
        EXPECT_EQ(odd.getJson().find("displayDiagonal"), std::string::npos);
        EXPECT_EQ(odd.description().find("displayDiagonal"), std::string::npos);
        if (!std::isfinite(bad)) {
            // Set past the constructor, a non-finite member is still left out of the JSON.
            odd.displayDiagonal = bad;
            EXPECT_NE(odd.getJson(), "");
            EXPECT_EQ(odd.getJson().find("displayDiagonal"), std::string::npos);
        }
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST(EventSessionRecords, PushReferralAndTutorial) {
    test::ScopedEnvironment env(kSessionNow);

    EXPECT_EQ(PushToken(kSessionNow, "", false).getJson(),
              R"({"code":"pt","timestamp":1700000000000,"isAllowed":false,"token":""})");
    EXPECT_EQ(PushToken(kSessionNow, "tok", true).description(),
              "\t code: pt\n\t timestamp: 1700000000000\n\t isAllowed: true\n\t token: tok\n");

    EXPECT_EQ(PushOpened(0, 12, std::nullopt).getJson(), R"({"code":"po","timestamp":0,"pushId":12})");
    const PushOpened opened(1600000000000, 12, "Open");
    EXPECT_EQ(opened.getJson(), R"({"code":"po","timestamp":1600000000000,"pushId":12,"button":"Open"})");
    EXPECT_EQ(opened.description(),
              "\t code: po\n\t timestamp: 1600000000000\n\t pushId: 12\n\t button: Open\n");

    const Referral campaignOnly(kSessionNow, 99, std::nullopt, "spring", std::nullopt, std::nullopt,
                                std::nullopt);
    EXPECT_EQ(campaignOnly.getJson(),
              R"({"code":"rf","timestamp":1700000000000,"sessionId":99,"campaign":"spring"})");
    const Referral all(kSessionNow, 99, "src", "cmp", "cnt", "med", "trm");
    EXPECT_EQ(all.getJson(), R"({"code":"rf","timestamp":1700000000000,"sessionId":99,"source":"src",)"
                             R"("campaign":"cmp","content":"cnt","medium":"med","term":"trm"})");
    EXPECT_EQ(all.description(),
              "\t code: rf\n\t timestamp: 1700000000000\n\t sessionId: 99\n\t source: src\n"
              "\t campaign: cmp\n\t content: cnt\n\t medium: med\n\t term: trm\n");

    EXPECT_EQ(Tutorial(kSessionNow, 99, 3, -2).getJson(),
              R"({"code":"tr","timestamp":1700000000000,"sessionId":99,"level":3,"step":-2})");
    const Tutorial during(kSessionNow, 99, 3, 2147483647, kSessionDungeon);
    EXPECT_EQ(during.getJson(), R"({"code":"tr","timestamp":1700000000000,"sessionId":99,"level":3,)"
                                R"("step":2147483647,"inProgress":["Dungeon"]})");
    EXPECT_EQ(during.description(),
              "\t code: tr\n\t timestamp: 1700000000000\n\t sessionId: 99\n\t level: 3\n"
              "\t step: 2147483647\n\t inProgress: [\"Dungeon\"]\n");
}
