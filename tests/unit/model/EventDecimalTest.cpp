#include "foundation/Decimal.hpp"
#include "model/JsonText.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <unordered_set>
#include <vector>

using zqb::Decimal;
using zqb::JsonText;
using Json = nlohmann::ordered_json;

namespace {

Decimal dec(const char* text) {
    const auto value = Decimal::parse(text);
    EXPECT_TRUE(value.has_value()) << text;
    return value.value_or(Decimal());
}

}  // namespace

TEST(EventDecimal, ParsesAndPrintsExactDigits) {
    const std::pair<const char*, const char*> cases[] = {
        {"0.99", "0.99"},
        {"1.50", "1.5"},
        {"-12", "-12"},
        {"+3.", "3"},
        {".5", "0.5"},
        {"1e2", "100"},
        {"1.5e-3", "0.0015"},
        {"-0.0", "0"},
        {"0.00001", "0.00001"},
        {"007.10", "7.1"},
        {"123456789012345678901234567890.12345678", "123456789012345678901234567890.12345678"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(dec(input).toString(), expected) << input;
    }
    EXPECT_EQ(Decimal(int64_t{-9223372036854775807 - 1}).toString(), "-9223372036854775808");
    EXPECT_EQ(Decimal(0).toString(), "0");

    for (const char* bad : {"", "-", ".", "1.2.3", "1e", "e5", "0x10", "1,5", " 1", "1 ", "nan", "inf",
                            "1e200", "1e-200", "123456789012345678901234567890123456789"}) {
        EXPECT_FALSE(Decimal::parse(bad).has_value()) << bad;
    }
}

TEST(EventDecimal, ArithmeticAndOrderAreExact) {
    EXPECT_EQ((dec("0.1") + dec("0.2")).toString(), "0.3");
    EXPECT_EQ((dec("0.99") - dec("0.99005")).toString(), "-0.00005");
    EXPECT_EQ((dec("-1.5") + dec("1.5")).toString(), "0");
    EXPECT_EQ((dec("1e100") - dec("1e-100")).abs() > dec("1e99"), true);
    EXPECT_EQ((dec("0.0001") - dec("0.00005")).toString(), "0.00005");

    EXPECT_LT(dec("0.99"), dec("0.991"));
    EXPECT_LT(dec("-2"), dec("-1.5"));
    EXPECT_LT(dec("-0.1"), Decimal(0));
    EXPECT_LT(dec("9.99"), dec("10"));
    EXPECT_EQ(dec("1.50"), dec("1.5"));
    EXPECT_EQ(dec("1.50").hash(), dec("1.5").hash());
    EXPECT_EQ(dec("-0"), Decimal(0));

    const std::unordered_set<Decimal> set{dec("2.50"), dec("2.5"), dec("25e-1")};
    EXPECT_EQ(set.size(), 1u);
}

TEST(EventDecimal, TravelsThroughJsonWithItsDigits) {
    Json json = Json::object();
    json["price"] = dec("0.99");
    json["big"] = dec("12345678901234567890.123456789");
    json["whole"] = dec("100");
    EXPECT_EQ(JsonText::write(json), R"({"price":0.99,"big":12345678901234567890.123456789,"whole":100})");

    // Read back from text: fractions keep their digits, integers stay integers.
    const Json read = JsonText::parse(R"({"price":0.99,"big":12345678901234567890.123456789,"whole":100})");
    EXPECT_EQ(read.at("price").get<Decimal>(), dec("0.99"));
    EXPECT_EQ(read.at("big").get<Decimal>(), dec("12345678901234567890.123456789"));
    EXPECT_TRUE(read.at("whole").is_number_integer());
    EXPECT_EQ(read.at("whole").get<Decimal>(), Decimal(100));
    EXPECT_EQ(JsonText::write(read), R"({"price":0.99,"big":12345678901234567890.123456789,"whole":100})");

    // A double is never taken for a decimal: its digits would be a guess.
    EXPECT_THROW(Json(0.99).get<Decimal>(), std::exception);
    EXPECT_THROW(Json("0.99").get<Decimal>(), std::exception);
}

TEST(EventDecimal, WriterRefusesWhatJsonCannotCarry) {
    EXPECT_THROW(JsonText::write(Json{{"price", std::nan("")}}), JsonText::EncodingError);
    EXPECT_THROW(JsonText::write(Json::array({1, std::numeric_limits<double>::infinity()})),
                 JsonText::EncodingError);
    EXPECT_THROW(JsonText::write(Json{{"name", std::string("\xff\xfe")}}), JsonText::EncodingError);
    EXPECT_THROW(JsonText::write(Json::binary({1, 2, 3})), JsonText::EncodingError);
    EXPECT_THROW(JsonText::write(Json::binary({'x'}, Decimal::jsonSubtype)), JsonText::EncodingError);

    try {
        JsonText::write(Json{{"outer", {{"revenue", -std::numeric_limits<double>::infinity()}}}});
        FAIL() << "no error";
    } catch (const JsonText::EncodingError& error) {
        EXPECT_NE(std::string(error.what()).find("-inf"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("outer.revenue"), std::string::npos) << error.what();
    }
}

TEST(EventDecimal, WriterFormsCompactAndPrettyText) {
    Json json = Json::object();
    json["b"] = 1;
    json["a"] = "q\"\\\n\x01é/";
    json["c"] = Json::array({true, nullptr, 5.0, 0.5, 1e-5, int64_t{-3}, uint64_t{18446744073709551615ULL}});
    json["d"] = Json::object();
    json["e"] = Json::array();
    EXPECT_EQ(
        JsonText::write(json),
        "{\"b\":1,\"a\":\"q\\\"\\\\\\n\\u0001é/\",\"c\":[true,null,5.0,0.5,1e-05,-3,18446744073709551615],"
        "\"d\":{},\"e\":[]}");
    EXPECT_EQ(
        JsonText::write(Json{{"k", Json::array({1, Json{{"x", dec("0.5")}}})}}, JsonText::Style::pretty),
        "{\n  \"k\" : [\n    1,\n    {\n      \"x\" : 0.5\n    }\n  ]\n}");

    EXPECT_EQ(zqb::toJSONData(Json{{"price", dec("0.99")}}).value_or("none"), R"({"price":0.99})");
    EXPECT_FALSE(zqb::toJSONData(Json{{"price", std::nan("")}}).has_value());
    EXPECT_EQ(zqb::toPrettyJson(Json{{"price", std::nan("")}}), "Error in getting prettyJson");
}

TEST(EventDecimal, ReaderRefusesBadText) {
    EXPECT_THROW(JsonText::parse("{\"a\":"), std::exception);
    EXPECT_THROW(JsonText::parse(""), std::exception);
    EXPECT_THROW(JsonText::parse(std::string(600, '[') + std::string(600, ']')), std::exception);
    EXPECT_EQ(JsonText::parse(R"({"a":1,"a":2})").at("a"), 2);
    EXPECT_EQ(JsonText::write(JsonText::parse(R"([1,"x",[{"y":null}],false])")),
              R"([1,"x",[{"y":null}],false])");
}

TEST(EventDecimal, ReaderCanReadTooDeepContainersEmpty) {
    const std::string deep = std::string(600, '[') + std::string(600, ']');
    const auto tree =
        JsonText::parse(R"({"a":)" + deep + R"(,"b":[{"c":)" + deep + "}]}", JsonText::DeepValues::readEmpty);
    // Below the top object: a's lists from the second level, c's from the fourth, the last of each empty.
    const std::string kept = R"({"a":)" + std::string(JsonText::maxDepth, '[') +
                             std::string(JsonText::maxDepth, ']') + R"(,"b":[{"c":)" +
                             std::string(JsonText::maxDepth - 2, '[') +
                             std::string(JsonText::maxDepth - 2, ']') + "}]}";
    EXPECT_EQ(JsonText::write(tree), kept);
    // What lies below is still parsed: malformed text fails as before.
    EXPECT_THROW(
        JsonText::parse(std::string(600, '[') + "}" + std::string(599, ']'), JsonText::DeepValues::readEmpty),
        std::exception);
}

TEST(EventDecimal, ObjectsOfManyMembersKeepTheFirstPlaceAndLastValueOfARepeatedKey) {
    std::string text = "{";
    for (int index = 0; index < 100; ++index) {
        text += "\"k" + std::to_string(index) + "\":" + std::to_string(index) + ",";
    }
    text += R"("k3":"again","k99":[1],"new":true})";
    const auto tree = JsonText::parse(text);
    ASSERT_EQ(tree.size(), 101u);
    EXPECT_EQ(tree.at("k3"), "again");
    EXPECT_EQ(tree.at("k99"), nlohmann::ordered_json::array({1}));
    std::vector<std::string> keys;
    for (const auto& [key, value] : tree.items()) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys.at(0), "k0");
    EXPECT_EQ(keys.at(3), "k3");
    EXPECT_EQ(keys.at(99), "k99");
    EXPECT_EQ(keys.at(100), "new");
}
