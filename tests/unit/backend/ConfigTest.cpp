#include "backend/Config.hpp"
#include "backend/WireReader.hpp"
#include "host/Environment.hpp"
#include "model/JsonText.hpp"
#include "support/ManualClock.hpp"
#include "support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

namespace zqb {
namespace {

using Json = nlohmann::ordered_json;

const char* const kMinimal =
    R"({"timeForRequest": 60000, "countForRequest": 5, "eventParamsCount": 10, "sessionTimeout": 300000,
        "serverTime": 1, "aliveTimeout": 120000, "userCounting": false})";

Json minimal() {
    return Json::parse(kMinimal);
}

std::string decodeFailure(const Json& json) {
    try {
        Config::fromJson(json);
    } catch (const WireDecodingError& error) {
        return error.what();
    }
    return "";
}

TEST(Config, DecodesTheRequiredMembersAndLeavesOptionalOnesAbsent) {
    const Config config = Config::decode(kMinimal);
    EXPECT_EQ(config.timeForRequest, 60000);
    EXPECT_EQ(config.countForRequest, 5);
    EXPECT_EQ(config.eventParamsCount, 10);
    EXPECT_EQ(config.sessionTimeout, 300000);
    EXPECT_EQ(config.serverTime, 1);
    EXPECT_EQ(config.aliveTimeout, 120000);
    EXPECT_FALSE(config.userCounting);
    EXPECT_FALSE(config.currencyAggregationTimeout);
    EXPECT_FALSE(config.sbsBundles);
    EXPECT_FALSE(config.sbsConfigVersion);
    EXPECT_FALSE(config.exclude);
    EXPECT_FALSE(config.userProperties);
}

TEST(Config, DecodesEveryOptionalMemberAndIgnoresUnknownOnes) {
    Json json = minimal();
    json["currencyAggregationTimeout"] = 5000;
    json["sbsBundles"] = {"a", "b"};
    json["sbsConfigVersion"] = 9;
    json["exclude"] = Json::parse(R"({"version": 3, "all": false, "events": {"ce": ["name", 1, 2.5, null,
        {"k": [true]}], "lu": []}})");
    json["userProperties"] = {{"country", "DE"}};
    json["unknown"] = {{"nested", 1}};
    const Config config = Config::fromJson(json);
    EXPECT_EQ(config.currencyAggregationTimeout, 5000);
    EXPECT_EQ(config.sbsBundles, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(config.sbsConfigVersion, 9);
    ASSERT_TRUE(config.exclude);
    EXPECT_EQ(config.exclude->version, 3);
    EXPECT_EQ(config.exclude->all, false);
    ASSERT_TRUE(config.exclude->events);
    const auto& events = *config.exclude->events;
    ASSERT_EQ(events.size(), 2u);
    ASSERT_EQ(events.at("ce").size(), 5u);
    EXPECT_EQ(events.at("ce")[0], AnyCodable("name"));
    EXPECT_EQ(events.at("ce")[1], AnyCodable(1));
    EXPECT_EQ(events.at("ce")[2], AnyCodable(2.5));
    EXPECT_TRUE(events.at("ce")[3].isNull());
    EXPECT_TRUE(events.at("lu").empty());
    ASSERT_TRUE(config.userProperties);
    EXPECT_EQ(config.userProperties->country, "DE");
}

TEST(Config, WholeNumbersWrittenWithAFractionAreIntegers) {
    Json json = Json::parse(R"({"timeForRequest": 6.0e4, "countForRequest": 5.0, "eventParamsCount": 10,
        "sessionTimeout": 300000, "serverTime": 1, "aliveTimeout": 120000, "userCounting": true})");
    // Numbers as the stored-text reader keeps them (exact decimal nodes) read the same.
    const Config fromText = Config::decode(json.dump());
    EXPECT_EQ(fromText.timeForRequest, 60000);
    EXPECT_EQ(fromText.countForRequest, 5);
    EXPECT_EQ(Config::fromJson(json).countForRequest, 5);
}

TEST(Config, RefusesMissingNullAndMistypedMembers) {
    Json missing = minimal();
    missing.erase("serverTime");
    EXPECT_EQ(
        decodeFailure(missing),
        R"x(keyNotFound("serverTime", codingPath: [], debugDescription: "No value associated with key "serverTime"."))x");

    Json null = minimal();
    null["aliveTimeout"] = nullptr;
    EXPECT_NE(decodeFailure(null).find("valueNotFound(codingPath: [\"aliveTimeout\"]"), std::string::npos);

    for (const Json& wrong : {Json(1), Json("true"), Json::array()}) {
        Json json = minimal();
        json["userCounting"] = wrong;
        EXPECT_NE(decodeFailure(json).find("typeMismatch(Bool, codingPath: [\"userCounting\"]"),
                  std::string::npos)
            << wrong;
    }
    for (const Json& wrong : {Json(true), Json("5"), Json(5.5), Json::object()}) {
        Json json = minimal();
        json["countForRequest"] = wrong;
        EXPECT_FALSE(decodeFailure(json).empty()) << wrong;
    }
    Json optionalWrong = minimal();
    optionalWrong["sbsBundles"] = {"a", 1};
    EXPECT_NE(decodeFailure(optionalWrong).find(R"(codingPath: ["sbsBundles", "Index 1"])"),
              std::string::npos);
    optionalWrong = minimal();
    optionalWrong["currencyAggregationTimeout"] = "1";
    EXPECT_FALSE(decodeFailure(optionalWrong).empty());

    EXPECT_FALSE(decodeFailure(Json::array()).empty());
    EXPECT_FALSE(decodeFailure(Json("text")).empty());
}

TEST(Config, NumbersBeyondTheSignedRangeFailTheDecoding) {
    for (const char* number : {"9223372036854775808", "18446744073709551615", "-1e19", "1e300", "1e400",
                               "123456789012345678901234567890"}) {
        const std::string text = std::string(R"({"timeForRequest": )") + number +
                                 R"(, "countForRequest": 5, "eventParamsCount": 10, "sessionTimeout": 300000,
            "serverTime": 1, "aliveTimeout": 120000, "userCounting": false})";
        try {
            Config::decode(text);
            ADD_FAILURE() << number;
        } catch (const WireDecodingError& error) {
            EXPECT_EQ(error.localizedDescription(),
                      "The data couldn\u2019t be read because it isn\u2019t in the correct format.");
        }
    }
    const Config extreme =
        Config::decode(R"({"timeForRequest": 9223372036854775807, "countForRequest": -9223372036854775808,
        "eventParamsCount": 0, "sessionTimeout": -1, "serverTime": 1, "aliveTimeout": 1, "userCounting": true})");
    EXPECT_EQ(extreme.timeForRequest, INT64_MAX);
    EXPECT_EQ(extreme.countForRequest, INT64_MIN);
}

TEST(Config, AFailureInsideTheExclusionBlockFailsTheWholeConfiguration) {
    Json json = minimal();
    json["exclude"] = Json::object();
    EXPECT_NE(decodeFailure(json).find(R"(keyNotFound("version", codingPath: ["exclude"])"),
              std::string::npos);
    json["exclude"] = {{"version", 3}};
    const Config config = Config::fromJson(json);
    ASSERT_TRUE(config.exclude);
    EXPECT_FALSE(config.exclude->all);
    EXPECT_FALSE(config.exclude->events);
    json["exclude"] = {{"version", 3}, {"events", {{"ce", "name"}}}};
    EXPECT_NE(decodeFailure(json).find(R"(typeMismatch(Array, codingPath: ["exclude", "events", "ce"])"),
              std::string::npos);
    json["exclude"] = {{"version", 3}, {"all", 1}};
    EXPECT_FALSE(decodeFailure(json).empty());
}

TEST(Config, NullOptionalsReadAsAbsentAndAreLeftOutWhenEncoded) {
    Json json = minimal();
    json["sbsBundles"] = nullptr;
    json["exclude"] = nullptr;
    json["currencyAggregationTimeout"] = nullptr;
    const Config config = Config::fromJson(json);
    EXPECT_FALSE(config.sbsBundles);
    EXPECT_EQ(JsonText::write(config.toJson()),
              R"({"timeForRequest":60000,"countForRequest":5,"eventParamsCount":10,"sessionTimeout":300000,)"
              R"("serverTime":1,"aliveTimeout":120000,"userCounting":false})");
}

TEST(Config, EncodedFormReadsBackToTheSameValues) {
    Json json = minimal();
    json["sbsBundles"] = {"p"};
    json["sbsConfigVersion"] = 2;
    json["exclude"] = Json::parse(R"({"version": 1, "all": true, "events": {"ce": ["x", 2, 0.25]}})");
    json["userProperties"] = Json::object();
    const Config config = Config::fromJson(json);
    const std::string text = JsonText::write(config.toJson());
    EXPECT_EQ(Config::decode(text), config);
    EXPECT_EQ(
        text,
        R"({"timeForRequest":60000,"countForRequest":5,"eventParamsCount":10,"sessionTimeout":300000,)"
        R"("serverTime":1,"aliveTimeout":120000,"userCounting":false,"sbsBundles":["p"],"sbsConfigVersion":2,)"
        R"("exclude":{"version":1,"all":true,"events":{"ce":["x",2,0.25]}},"userProperties":{}})");
}

TEST(Config, TheDefaultIsMadeOnceFromTheClockOfItsFirstUse) {
    test::ScopedEnvironment environment(1'700'000'000'123);
    const Config& first = Config::defaulConfiguration(*zqb::host::Environment::shared().clock());
    EXPECT_EQ(first.serverTime, 1'700'000'000'123);
    environment.clock().advance(60'000);
    EXPECT_EQ(Config::defaulConfiguration(*zqb::host::Environment::shared().clock()).serverTime,
              1'700'000'000'123);
    EXPECT_EQ(
        JsonText::write(first.toJson()),
        R"({"timeForRequest":120000,"countForRequest":10,"eventParamsCount":20,"sessionTimeout":600000,)"
        R"("serverTime":1700000000123,"aliveTimeout":300000,"userCounting":true,)"
        R"("currencyAggregationTimeout":360000,"sbsConfigVersion":0})");
}

TEST(Config, GarbageTextFailsAsDataCorrupted) {
    for (const std::string& text : {std::string(""), std::string("not json"), std::string("{\"a\":"),
                                    std::string(100000, '['), std::string("\xFF\xFE")}) {
        try {
            Config::decode(text);
            ADD_FAILURE() << text.substr(0, 20);
        } catch (const WireDecodingError& error) {
            EXPECT_EQ(error.kind(), WireDecodingError::Kind::dataCorrupted);
        }
    }
}

}  // namespace
}  // namespace zqb
