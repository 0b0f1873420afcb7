#include "model/PeopleValueType.hpp"

#include "support/LogCapture.hpp"

#include <gtest/gtest.h>

#include <limits>

using zqb::PeopleValueMap;
using zqb::PeopleValueType;

TEST(PeopleValueTypeEquality, OnlyTheSameKindCanBeEqual) {
    EXPECT_FALSE(PeopleValueType(3).isEqual(PeopleValueType(3.0)));
    EXPECT_FALSE(PeopleValueType(true).isEqual(PeopleValueType(1)));
    EXPECT_FALSE(PeopleValueType("5").isEqual(PeopleValueType(5)));
    EXPECT_FALSE(PeopleValueType(ZQBGender::male).isEqual(PeopleValueType(1)));
    EXPECT_FALSE(PeopleValueType::null().isEqual(PeopleValueType(0)));
    EXPECT_TRUE(PeopleValueType::null().isEqual(PeopleValueType::null()));
    EXPECT_TRUE(PeopleValueType(ZQBGender::male).isEqual(PeopleValueType(ZQBGender::male)));
    EXPECT_FALSE(PeopleValueType(ZQBGender::male).isEqual(PeopleValueType(ZQBGender::female)));
    EXPECT_TRUE(PeopleValueType(int64_t{-7}).isEqual(PeopleValueType(-7)));
    EXPECT_TRUE(PeopleValueType(false).isEqual(PeopleValueType(false)));
    EXPECT_FALSE(PeopleValueType(false).isEqual(PeopleValueType(true)));
}

TEST(PeopleValueTypeEquality, TextsAndDoubles) {
    EXPECT_TRUE(PeopleValueType("caf\xC3\xA9").isEqual(PeopleValueType("cafe\xCC\x81")));
    EXPECT_FALSE(PeopleValueType("a").isEqual(PeopleValueType("A")));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(PeopleValueType(nan).isEqual(PeopleValueType(nan)));
    EXPECT_TRUE(PeopleValueType(2.5).isEqual(PeopleValueType(2.5)));
}

TEST(PeopleValueTypeConversion, ToIntTruncatesAndNeverOverflows) {
    EXPECT_EQ(PeopleValueType(2.9).toInt(), 2);
    EXPECT_EQ(PeopleValueType(-2.9).toInt(), -2);
    EXPECT_EQ(PeopleValueType(int64_t{1} << 60).toInt(), int64_t{1} << 60);
    EXPECT_EQ(PeopleValueType("7").toInt(), 0);
    EXPECT_EQ(PeopleValueType(true).toInt(), 0);
    EXPECT_EQ(PeopleValueType(ZQBGender::female).toInt(), 0);
    EXPECT_EQ(PeopleValueType::null().toInt(), 0);
    constexpr auto max = std::numeric_limits<int64_t>::max();
    constexpr auto min = std::numeric_limits<int64_t>::min();
    EXPECT_EQ(PeopleValueType(std::numeric_limits<double>::quiet_NaN()).toInt(), 0);
    EXPECT_EQ(PeopleValueType(std::numeric_limits<double>::infinity()).toInt(), max);
    EXPECT_EQ(PeopleValueType(-std::numeric_limits<double>::infinity()).toInt(), min);
    EXPECT_EQ(PeopleValueType(1e19).toInt(), max);
    EXPECT_EQ(PeopleValueType(9223372036854775808.0).toInt(), max);
    EXPECT_EQ(PeopleValueType(-9223372036854775808.0).toInt(), min);
    EXPECT_EQ(PeopleValueType(-1e300).toInt(), min);
}

TEST(PeopleValueTypeConversion, ToDoubleAndToString) {
    EXPECT_EQ(PeopleValueType(7).toDouble(), 7.0);
    EXPECT_EQ(PeopleValueType(0.25).toDouble(), 0.25);
    EXPECT_EQ(PeopleValueType(true).toDouble(), 0.0);
    EXPECT_EQ(PeopleValueType::null().toDouble(), 0.0);
    EXPECT_EQ(PeopleValueType("3").toDouble(), 0.0);
    EXPECT_EQ(PeopleValueType("2.1.2").toString(), "2.1.2");
    EXPECT_EQ(PeopleValueType(5).toString(), std::nullopt);
    EXPECT_EQ(PeopleValueType::null().toString(), std::nullopt);
}

TEST(PeopleValueTypeText, Description) {
    EXPECT_EQ(PeopleValueType(5).description(), "5");
    EXPECT_EQ(PeopleValueType(5.0).description(), "5.0");
    EXPECT_EQ(PeopleValueType("x y").description(), "x y");
    EXPECT_EQ(PeopleValueType(false).description(), "false");
    EXPECT_EQ(PeopleValueType::null().description(), "<null>");
    EXPECT_EQ(PeopleValueType(ZQBGender::female).description(), "2");
}

TEST(PeopleValueMapJson, EveryKindIsWritten) {
    PeopleValueMap values{{"age", 30},
                          {"ratio", 0.5},
                          {"name", "Ann"},
                          {"vip", true},
                          {"gone", PeopleValueType::null()},
                          {"gender", ZQBGender::male}};
    EXPECT_EQ(zqb::dictionaryJson(values),
              R"({"age":30,"gender":1,"gone":null,"name":"Ann","ratio":0.5,"vip":true})");
    EXPECT_EQ(zqb::dictionaryJson({}), "{}");
}

TEST(PeopleValueMapJson, NonFiniteDoubleGivesTheFallbackText) {
    PeopleValueMap values{{"a", 1}, {"b", std::numeric_limits<double>::infinity()}};
    EXPECT_EQ(zqb::dictionaryJson(values), "Not a valid JSON");
}

TEST(PeopleValueMapJson, CanonicallyEqualKeysAreOneKey) {
    PeopleValueMap values;
    values.emplace("caf\xC3\xA9", 1);
    values.emplace("cafe\xCC\x81", 2);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values.at("cafe\xCC\x81").intValue(), 1);
}

TEST(PeopleValueMapReading, NumbersNeverReadAsBooleans) {
    zqb::test::LogCapture log;
    const PeopleValueMap values =
        zqb::peopleValuesFromJson(R"({"zero":0,"one":1,"t":true,"f":false,"whole":5.0,"half":2.5,"s":"1"})");
    ASSERT_EQ(values.size(), 7u);
    EXPECT_EQ(values.at("zero").intValue(), 0);
    EXPECT_EQ(values.at("one").intValue(), 1);
    EXPECT_EQ(values.at("t").boolValue(), true);
    EXPECT_EQ(values.at("f").boolValue(), false);
    EXPECT_EQ(values.at("whole").intValue(), 5);
    EXPECT_EQ(values.at("half").doubleValue(), 2.5);
    EXPECT_EQ(values.at("s").toString(), "1");
    EXPECT_TRUE(log.lines().empty());
}

TEST(PeopleValueMapReading, WrittenValuesReadBack) {
    PeopleValueMap values{
        {"age", 1}, {"ratio", 0.75}, {"name", "Ann"}, {"vip", false}, {"gone", PeopleValueType::null()}};
    const PeopleValueMap read = zqb::peopleValuesFromJson(zqb::dictionaryJson(values));
    ASSERT_EQ(read.size(), values.size());
    for (const auto& [key, value] : values) {
        EXPECT_TRUE(read.at(key).isEqual(value)) << key;
    }
}

TEST(PeopleValueMapReading, NestedValuesAreDroppedAndBadTextGivesNothing) {
    {
        zqb::test::LogCapture log;
        const PeopleValueMap values =
            zqb::peopleValuesFromJson(R"({"list":[1],"object":{"a":1},"n":null,"big":1e300})");
        ASSERT_EQ(values.size(), 2u);
        EXPECT_TRUE(values.at("n").isNull());
        EXPECT_EQ(values.at("big").doubleValue(), 1e300);
        EXPECT_TRUE(zqb::peopleValuesFromJson("").empty());
        EXPECT_TRUE(zqb::peopleValuesFromJson("[]").empty());
        EXPECT_TRUE(log.lines().empty());
    }
    zqb::test::LogCapture log;
    EXPECT_TRUE(zqb::peopleValuesFromJson("Not a valid JSON").empty());
    EXPECT_EQ(log.count("When trying to convert String to Dictionary, an error has occurred: "), 1u);
}
