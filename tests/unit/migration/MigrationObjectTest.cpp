#include "migration/MigrationObject.hpp"
#include "model/JsonSupport.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace zqb {
namespace {

std::optional<MigrationObject> decode(const std::string& text) {
    return decodeJson<MigrationObject>(text);
}

TEST(MigrationObjectJson, AMinimalObjectTakesTheFallbackOfEveryOtherField) {
    const auto object = decode(R"({"userId":"u1","level":3,"unknown":[1]})");
    ASSERT_TRUE(object);
    EXPECT_EQ(object->userId, "u1");
    EXPECT_EQ(object->level, 3);
    EXPECT_TRUE(object->trackingAvailable);
    EXPECT_FALSE(object->deviceId);
    EXPECT_FALSE(object->prevUserId);
    EXPECT_TRUE(object->userCard.empty());
    EXPECT_TRUE(object->transactionIds.empty());
    EXPECT_TRUE(object->tutorCompletedSteps.empty());

    const auto mistyped = decode(R"({"trackingAvailable":"no","deviceId":null,"level":4.0})");
    ASSERT_TRUE(mistyped);
    EXPECT_TRUE(mistyped->trackingAvailable);
    EXPECT_FALSE(mistyped->deviceId);
    EXPECT_EQ(mistyped->level, 4);
    EXPECT_FALSE(decode(R"({"trackingAvailable":false})")->trackingAvailable);
    EXPECT_FALSE(decode(R"({})")->level);
}

TEST(MigrationObjectJson, MistypedIdentifiersOrLevelFailTheWholeObject) {
    for (const char* text :
         {R"({"userId":7,"level":1})", R"({"deviceId":true})", R"({"prevUserId":{}})",
          R"({"userId":"u","level":"3"})", R"({"userId":"u","level":2.5})", R"({"userId":"u","level":true})",
          R"({"level":1e30})", R"([{"userId":"u"}])", R"("u")", R"({"userId":"u",)", ""}) {
        EXPECT_FALSE(decode(text)) << text;
    }
}

TEST(MigrationObjectJson, TheCardKeepsBooleansTextsAndNumbersOnly) {
    const auto object = decode(
        R"({"userCard":{"int":1,"flag":true,"name":"Ann","ratio":2.5,"whole":5.0,"none":null,"list":[1],)"
        R"("map":{"a":1},"huge":18446744073709551615}})");
    ASSERT_TRUE(object);
    const PeopleValueMap& card = object->userCard;
    ASSERT_EQ(card.size(), 5u);
    EXPECT_EQ(card.at("int").intValue(), 1);
    EXPECT_EQ(card.at("flag").boolValue(), true);
    EXPECT_EQ(card.at("name").toString(), "Ann");
    EXPECT_EQ(card.at("ratio").doubleValue(), 2.5);
    EXPECT_EQ(card.at("whole").intValue(), 5);

    for (const char* text : {R"({"userCard":[1]})", R"({"userCard":"x"})", R"({"userCard":null})"}) {
        const auto withoutCard = decode(text);
        ASSERT_TRUE(withoutCard) << text;
        EXPECT_TRUE(withoutCard->userCard.empty()) << text;
    }
}

TEST(MigrationObjectJson, AListWithOneMistypedElementIsEmpty) {
    const auto object =
        decode(R"({"transactionIds":["a",1],"tutorCompletedSteps":[1,"2"],"userId":"u","level":1})");
    ASSERT_TRUE(object);
    EXPECT_TRUE(object->transactionIds.empty());
    EXPECT_TRUE(object->tutorCompletedSteps.empty());
    EXPECT_TRUE(decode(R"({"tutorCompletedSteps":[1,2.5]})")->tutorCompletedSteps.empty());

    const auto typed = decode(R"({"transactionIds":["a","b"],"tutorCompletedSteps":[1,2.0,-3]})");
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->transactionIds, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(typed->tutorCompletedSteps, (std::vector<int64_t>{1, 2, -3}));
}

TEST(MigrationObjectDescription, PrintsThePresentFieldsInOrder) {
    MigrationObject minimal;
    minimal.userId = "u1";
    minimal.trackingAvailable = false;
    minimal.level = 2;
    EXPECT_EQ(minimal.description(), "\tuserId: u1\n\ttrackingAvailable: false\n\tlevel: 2\n");
    EXPECT_EQ(MigrationObject{}.description(), "\ttrackingAvailable: true\n");

    const MigrationObject full{.deviceId = "d",
                               .prevDeviceId = "pd",
                               .userId = "u",
                               .prevUserId = "pu",
                               .trackingAvailable = true,
                               .level = 7,
                               .userCard = {{"a", 3.0}, {"b", PeopleValueType("x")}, {"c", true}},
                               .transactionIds = {"t1", "t2"},
                               .tutorCompletedSteps = {1, 2, 5}};
    EXPECT_EQ(full.description(),
              "\tdeviceId: d\n\tprevDeviceId: pd\n\tuserId: u\n\tprevUserId: pu\n\ttrackingAvailable: true\n"
              "\tlevel: 7\n"
              "\t userCardInfo: \n\t\ta: 3.0\n\t\tb: x\n\t\tc: true\n"
              "\ttransactionIds: \n\t\tt1,\n\t\tt2\n"
              "\ttutorCompletedSteps: 1, 2, 5\n");
}

}  // namespace
}  // namespace zqb
