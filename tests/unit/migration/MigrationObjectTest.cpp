#include "migration/MigrationObject.hpp"
#include "migration/PluginFileText.hpp"
#include "migration/SDKMigrationManager.hpp"
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

TEST(PluginFileText, OnlyNumbersBeyondADoubleBecomeValuesOfNoFieldsType) {
    EXPECT_EQ(PluginFileText::withLargeNumbersReplaced(
                  R"({"a":[1e400,-1E+309,0.5e309,1e308,1e-400,-0,"1e400","\"1e400"],"1e400":2})"),
              R"({"a":[[],[],[],1e308,1e-400,-0,"1e400","\"1e400"],"1e400":2})");
    const std::string digits(400, '9');
    EXPECT_EQ(PluginFileText::withLargeNumbersReplaced("[" + digits + "," + digits.substr(0, 300) + "]"),
              "[[]," + digits.substr(0, 300) + "]");
    // What is no JSON number stays for the parser to refuse.
    for (const char* text : {"[01e400]", "[1e400e1]", "[-e400]", "[1.e400]", "[1e400"}) {
        EXPECT_EQ(PluginFileText::withLargeNumbersReplaced(text),
                  std::string(text) == "[1e400" ? "[[]" : text)
            << text;
        EXPECT_FALSE(SDKMigrationManager::objectFromPluginFile(text)) << text;
    }

    // The field's own rule then applies: a level beyond a double fails the record, as a mistyped one does.
    EXPECT_FALSE(SDKMigrationManager::objectFromPluginFile(R"({"userId":"u","level":1e400})"));
    EXPECT_FALSE(SDKMigrationManager::objectFromPluginFile("1e400"));
    const auto object = SDKMigrationManager::objectFromPluginFile(
        R"({"userId":"u","level":1,"trackingAvailable":1e400,"transactionIds":["a",1e400],"x":-1e999})");
    ASSERT_TRUE(object);
    EXPECT_TRUE(object->trackingAvailable);
    EXPECT_TRUE(object->transactionIds.empty());
}

// `text` in UTF-16 (`width` 2) or UTF-32 (`width` 4), in either byte order, with a byte-order mark if asked.
std::string encoded(const std::u32string& text, int width, bool bigEndian, bool mark) {
    std::string bytes;
    const auto unit = [&](uint32_t value) {
        for (int index = 0; index < width; ++index) {
            const int shift = 8 * (bigEndian ? width - 1 - index : index);
            bytes += static_cast<char>((value >> shift) & 0xFF);
        }
    };
    const auto put = [&](char32_t c) {
        if (width == 2 && c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    };
    if (mark) {
        put(0xFEFF);
    }
    for (const char32_t c : text) {
        put(c);
    }
    return bytes;
}

TEST(PluginFileText, TheFileIsReadInEveryEncodingOfJson) {
    const std::u32string text = U"{\"userId\":\"\u00e9\U0001F600\",\"level\":3}";
    for (const int width : {2, 4}) {
        for (const bool bigEndian : {true, false}) {
            for (const bool mark : {true, false}) {
                const auto object =
                    SDKMigrationManager::objectFromPluginFile(encoded(text, width, bigEndian, mark));
                ASSERT_TRUE(object) << width << bigEndian << mark;
                EXPECT_EQ(object->userId, "\u00e9\U0001F600");
                EXPECT_EQ(object->level, 3);
            }
        }
    }
    EXPECT_TRUE(SDKMigrationManager::objectFromPluginFile("\xEF\xBB\xBF{\"level\":1}"));

    // Invalid sequences leave the file unreadable: a lone surrogate, a unit beyond Unicode, a cut-off unit.
    const std::string wide = encoded(U"{\"userId\":\"u\",\"level\":1}", 2, false, false);
    std::string lone = wide;
    lone.replace(lone.find('u', 5), 2, std::string("\x00\xD8", 2));
    EXPECT_FALSE(SDKMigrationManager::objectFromPluginFile(lone));
    EXPECT_FALSE(SDKMigrationManager::objectFromPluginFile(wide + "}"));
    std::string beyond = encoded(U"{\"userId\":\"u\",\"level\":1}", 4, true, false);
    beyond.replace(beyond.find('u') - 3, 4, std::string("\x00\x11\x00\x00", 4));
    EXPECT_FALSE(SDKMigrationManager::objectFromPluginFile(beyond));
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
