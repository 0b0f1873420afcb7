#include "model/AnyCodable.hpp"

#include "support/LogCapture.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

using zqb::AnyCodable;
using zqb::AnyCodableMap;
using Json = nlohmann::ordered_json;
using Kind = AnyCodable::Kind;

namespace {

AnyCodable parse(const std::string& text) {
    return AnyCodable::fromJson(Json::parse(text));
}

std::string write(const AnyCodable& value) {
    return zqb::JsonText::write(value.toJson());
}

}  // namespace

// --- Reading JSON ---------------------------------------------------------------------------------

TEST(AnyCodableDecoding, ObjectOfEveryKindReadsAndWritesBack) {
    const std::string text = R"({"i":1,"d":1.5,"b":true,"n":null,"s":"text","a":[1,"x"],"o":{"k":2}})";
    const AnyCodable value = parse(text);
    ASSERT_EQ(value.kind(), Kind::map);
    const AnyCodableMap& map = *value.mapValue();
    EXPECT_EQ(map.find("i")->kind(), Kind::int_);
    EXPECT_EQ(map.find("i")->signedValue(), 1);
    EXPECT_EQ(map.find("d")->kind(), Kind::double_);
    EXPECT_EQ(map.find("d")->doubleValue(), 1.5);
    EXPECT_EQ(map.find("b")->boolValue(), true);
    EXPECT_TRUE(map.find("n")->isNull());
    EXPECT_EQ(*map.find("s")->stringValue(), "text");
    EXPECT_TRUE(*map.find("a") == AnyCodable::list({1, "x"}));
    EXPECT_TRUE(*map.find("o") == AnyCodable::map({{"k", 2}}));
    EXPECT_EQ(write(value), text);
}

TEST(AnyCodableDecoding, NumbersTakeTheNarrowestFittingKind) {
    EXPECT_EQ(parse("9223372036854775807").kind(), Kind::int_);
    EXPECT_EQ(parse("-9223372036854775808").signedValue(), std::numeric_limits<int64_t>::min());
    const AnyCodable big = parse("18446744073709551615");
    EXPECT_EQ(big.kind(), Kind::uint);
    EXPECT_EQ(big.unsignedValue(), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(parse("1e300").kind(), Kind::double_);
    EXPECT_EQ(parse("18446744073709551616").kind(), Kind::double_);
    EXPECT_EQ(parse("0.5").kind(), Kind::double_);
}

TEST(AnyCodableDecoding, WholeFloatingTextIsAnInt) {
    // The parser keeps "5.0" and "1e2" as floating values; they have no fractional part, so they are Ints.
    EXPECT_TRUE(parse("5.0") == AnyCodable(5));
    EXPECT_TRUE(parse("1e2") == AnyCodable(100));
    EXPECT_TRUE(parse("-0.0") == AnyCodable(0));
    EXPECT_EQ(parse("1e19").kind(), Kind::uint);
    EXPECT_EQ(parse("9.3e18").kind(), Kind::uint);
    EXPECT_EQ(parse("-9.3e18").kind(), Kind::double_);
}

TEST(AnyCodableDecoding, BooleansAndNumbersStayApart) {
    EXPECT_EQ(parse("true").kind(), Kind::boolean);
    EXPECT_FALSE(parse("true") == AnyCodable(1));
    EXPECT_EQ(parse("1").kind(), Kind::int_);
    EXPECT_FALSE(parse("1") == AnyCodable(true));
    EXPECT_EQ(parse("0").kind(), Kind::int_);
}

TEST(AnyCodableDecoding, DuplicateCanonicalKeysKeepTheFirst) {
    // "é" precomposed and decomposed are one key.
    const AnyCodable value = parse("{\"\xC3\xA9\":1,\"e\xCC\x81\":2}");
    ASSERT_EQ(value.mapValue()->size(), 1u);
    EXPECT_EQ(value.mapValue()->find("e\xCC\x81")->signedValue(), 1);
}

TEST(AnyCodableDecoding, DecimalNodesReadAsNumbers) {
    const Json tree = zqb::JsonText::parse(R"({"price":0.99,"whole":2.0,"count":3})");
    const AnyCodable value = AnyCodable::fromJson(tree);
    EXPECT_TRUE(*value.mapValue()->find("price") == AnyCodable(0.99));
    EXPECT_TRUE(*value.mapValue()->find("whole") == AnyCodable(2));
    EXPECT_EQ(write(value), R"({"price":0.99,"whole":2,"count":3})");
}

TEST(AnyCodableDecoding, UnreadableValuesFail) {
    EXPECT_THROW(AnyCodable::fromJson(Json::binary({1, 2, 3})), zqb::DecodingError);
    std::string deep(100000, '[');
    deep += std::string(100000, ']');
    try {
        AnyCodable::fromJson(Json::parse(deep));
        FAIL() << "read a value nested 100000 levels deep";
    } catch (const zqb::DecodingError& error) {
        EXPECT_STREQ(error.what(), "AnyCodable value cannot be decoded");
    }
}

// --- Writing JSON ---------------------------------------------------------------------------------

TEST(AnyCodableEncoding, EveryKindHasItsForm) {
    EXPECT_EQ(write(AnyCodable()), "null");
    EXPECT_EQ(write(AnyCodable(false)), "false");
    EXPECT_EQ(write(AnyCodable::int8(-8)), "-8");
    EXPECT_EQ(write(AnyCodable::uint64(std::numeric_limits<uint64_t>::max())), "18446744073709551615");
    EXPECT_EQ(write(AnyCodable(0.1f)), "0.1");
    EXPECT_EQ(write(AnyCodable(0.5)), "0.5");
    EXPECT_EQ(write(AnyCodable("a\"b\n\xC3\xA9")), "\"a\\\"b\\n\xC3\xA9\"");
    EXPECT_EQ(write(AnyCodable(AnyCodable::Date{978307200.0 + 1.5})), "1.5");
    EXPECT_EQ(write(AnyCodable(AnyCodable::Url{"https://example.org/a?b=1"})),
              "\"https://example.org/a?b=1\"");
    EXPECT_EQ(write(AnyCodable::list({std::optional<int>(), 2})), "[null,2]");
    EXPECT_EQ(write(AnyCodable::map({{"z", 1}, {"a", AnyCodable()}})), R"({"z":1,"a":null})");
}

TEST(AnyCodableEncoding, MapsAndListsNestInATree) {
    Json tree = Json::object();
    tree["parameters"] = AnyCodableMap{{"a", 1}, {"b", AnyCodable::list({true})}};
    tree["values"] = AnyCodable::List{1, "x"};
    EXPECT_EQ(zqb::JsonText::write(tree), R"({"parameters":{"a":1,"b":[true]},"values":[1,"x"]})");
}

TEST(AnyCodableEncoding, NonFiniteNumbersFailTheWholeEncoding) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_THROW(AnyCodable(nan).toJson(), zqb::JsonText::EncodingError);
    EXPECT_THROW(AnyCodable(-inf).toJson(), zqb::JsonText::EncodingError);
    EXPECT_THROW(AnyCodable(std::numeric_limits<float>::infinity()).toJson(), zqb::JsonText::EncodingError);
    EXPECT_THROW(AnyCodable::map({{"ok", 1}, {"deep", AnyCodable::list({inf})}}).toJson(),
                 zqb::JsonText::EncodingError);
}

TEST(AnyCodableEncoding, OpaqueValueFailsEveryEncodingThatContainsIt) {
    struct Widget {};
    const AnyCodable widget = AnyCodable::opaque(Widget{}, "Widget");
    try {
        widget.toJson();
        FAIL() << "encoded an opaque value";
    } catch (const zqb::JsonText::EncodingError& error) {
        EXPECT_STREQ(error.what(), "AnyCodable value cannot be encoded");
    }
    EXPECT_THROW(AnyCodable::map({{"w", widget}}).toJson(), zqb::JsonText::EncodingError);
    EXPECT_THROW(Json(AnyCodable::list({1, widget})), zqb::JsonText::EncodingError);
}

// --- Equality -------------------------------------------------------------------------------------

TEST(AnyCodableEquality, KindsNeverMix) {
    EXPECT_FALSE(AnyCodable(5) == AnyCodable(5.0));
    EXPECT_FALSE(AnyCodable(5) == AnyCodable::int32(5));
    EXPECT_FALSE(AnyCodable(1) == AnyCodable::int64(1));
    EXPECT_FALSE(AnyCodable(1u) == AnyCodable::uint64(1));
    EXPECT_FALSE(AnyCodable(1.0f) == AnyCodable(1.0));
    EXPECT_FALSE(AnyCodable("5") == AnyCodable(5));
    EXPECT_FALSE(AnyCodable() == AnyCodable(false));
    EXPECT_TRUE(AnyCodable::int32(5) == AnyCodable::int32(5));
    EXPECT_TRUE(AnyCodable() == AnyCodable(nullptr));
}

TEST(AnyCodableEquality, ValuesOfTheSameKind) {
    EXPECT_TRUE(AnyCodable("abc") == AnyCodable(std::string("abc")));
    EXPECT_TRUE(AnyCodable("caf\xC3\xA9") == AnyCodable("cafe\xCC\x81"));
    EXPECT_FALSE(AnyCodable("abc") == AnyCodable("abd"));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(AnyCodable(nan) == AnyCodable(nan));
    EXPECT_TRUE(AnyCodable(0.0) == AnyCodable(-0.0));
}

TEST(AnyCodableEquality, ContainersCompareElementwise) {
    EXPECT_TRUE(AnyCodable::map({{"a", 1}, {"b", "x"}}) == AnyCodable::map({{"b", "x"}, {"a", 1}}));
    EXPECT_FALSE(AnyCodable::map({{"a", 1}}) == AnyCodable::map({{"a", 1}, {"b", 2}}));
    EXPECT_FALSE(AnyCodable::map({{"a", 1}}) == AnyCodable::map({{"a", 1.0}}));
    EXPECT_TRUE(AnyCodable::list({1, "a"}) == AnyCodable::list({1, "a"}));
    EXPECT_FALSE(AnyCodable::list({1, "a"}) == AnyCodable::list({"a", 1}));
    EXPECT_FALSE(AnyCodable::list({1}) == AnyCodable::list({1, 1}));
    EXPECT_FALSE(AnyCodable::list({}) == AnyCodable::map({}));
}

TEST(AnyCodableEquality, DatesUrlsAndOpaqueValuesEqualNothing) {
    const AnyCodable date(AnyCodable::Date{10});
    const AnyCodable url(AnyCodable::Url{"https://example.org"});
    const AnyCodable opaque = AnyCodable::opaque(3, "3");
    EXPECT_FALSE(date == date);
    EXPECT_FALSE(url == url);
    EXPECT_FALSE(opaque == opaque);
    EXPECT_FALSE(AnyCodable::list({date}) == AnyCodable::list({date}));
}

// --- Construction ---------------------------------------------------------------------------------

TEST(AnyCodableConstruction, ConstantsTakeTheirKinds) {
    EXPECT_EQ(AnyCodable(7).kind(), Kind::int_);
    EXPECT_EQ(AnyCodable(int64_t{7}).kind(), Kind::int_);
    EXPECT_EQ(AnyCodable(7.5).kind(), Kind::double_);
    EXPECT_EQ(AnyCodable(true).kind(), Kind::boolean);
    EXPECT_EQ(AnyCodable("s").kind(), Kind::string);
    EXPECT_EQ(AnyCodable(std::optional<std::string>()).kind(), Kind::null);
    EXPECT_EQ(AnyCodable(std::optional<std::string>("x")).kind(), Kind::string);
    EXPECT_EQ(AnyCodable(std::variant<int, std::string>("v")).kind(), Kind::string);
}

TEST(AnyCodableConstruction, FirstPairWithAKeyWins) {
    const AnyCodable value = AnyCodable::map({{"k", 1}, {"k", 2}, {"j", 3}});
    ASSERT_EQ(value.mapValue()->size(), 2u);
    EXPECT_EQ(value.mapValue()->find("k")->signedValue(), 1);
    EXPECT_EQ(write(value), R"({"k":1,"j":3})");
}

TEST(AnyCodableConstruction, DictionaryWrapsEveryValueUnchecked) {
    std::map<std::string, std::variant<int64_t, double, std::string, bool>> parameters{
        {"count", int64_t{3}}, {"price", 1.25}, {"name", std::string("sword")}, {"rare", true}};
    const AnyCodableMap map = zqb::toAnyCodable(parameters);
    ASSERT_EQ(map.size(), 4u);
    EXPECT_TRUE(*map.find("count") == AnyCodable(3));
    EXPECT_TRUE(*map.find("price") == AnyCodable(1.25));
    EXPECT_TRUE(*map.find("name") == AnyCodable("sword"));
    EXPECT_TRUE(*map.find("rare") == AnyCodable(true));
    EXPECT_TRUE(zqb::toAnyCodable(std::map<std::string, AnyCodable>{}).empty());

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const AnyCodableMap kept = zqb::toAnyCodable(std::map<std::string, double>{{"bad", nan}});
    EXPECT_EQ(kept.size(), 1u);
}

// --- Text forms -----------------------------------------------------------------------------------

TEST(AnyCodableText, DescriptionAndDebugText) {
    EXPECT_EQ(AnyCodable().description(), "nil");
    EXPECT_EQ(AnyCodable().debugDescription(), "AnyCodable(nil)");
    EXPECT_EQ(AnyCodable("abc").description(), "abc");
    EXPECT_EQ(AnyCodable("abc").debugDescription(), "AnyCodable(\"abc\")");
    EXPECT_EQ(AnyCodable("a\"b").debugDescription(), "AnyCodable(\"a\\\"b\")");
    EXPECT_EQ(AnyCodable(42).description(), "42");
    EXPECT_EQ(AnyCodable::int8(-3).description(), "-3");
    EXPECT_EQ(AnyCodable(true).description(), "true");
    EXPECT_EQ(AnyCodable(5.0).description(), "5.0");
    EXPECT_EQ(AnyCodable(1e-05).description(), "1e-05");
    EXPECT_EQ(AnyCodable(5.0).debugDescription(), "AnyCodable(5.0)");
    EXPECT_EQ(AnyCodable(0.1f).description(), "0.1");
    EXPECT_EQ(AnyCodable::list({1, "a", AnyCodable()}).description(), "[1, \"a\", nil]");
    EXPECT_EQ(AnyCodable::map({}).description(), "[:]");
    EXPECT_EQ(AnyCodable::map({{"k", "v"}}).description(), "[\"k\": \"v\"]");
    EXPECT_EQ(AnyCodable(AnyCodable::Date{978307200}).description(), "2001-01-01 00:00:00 +0000");
    EXPECT_EQ(AnyCodable(AnyCodable::Url{"https://example.org"}).description(), "https://example.org");
}

// --- String to dictionary -------------------------------------------------------------------------

TEST(StringToDictionary, ObjectIsReturnedAsParsed) {
    zqb::test::LogCapture log;
    const Json dictionary = zqb::toDictionary(R"({"a":1,"b":[true],"c":null})");
    EXPECT_EQ(zqb::JsonText::write(dictionary), R"({"a":1,"b":[true],"c":null})");
    EXPECT_TRUE(log.lines().empty());
}

TEST(StringToDictionary, ArrayGivesAnEmptyMapSilently) {
    zqb::test::LogCapture log;
    const Json dictionary = zqb::toDictionary("[1,2]");
    EXPECT_TRUE(dictionary.is_object());
    EXPECT_TRUE(dictionary.empty());
    EXPECT_TRUE(log.lines().empty());
}

TEST(StringToDictionary, UnreadableTextLogsOneErrorAndGivesAnEmptyMap) {
    for (const std::string text : {"not json", "{\"a\":", "5", "\"fragment\"", "", "{\"a\":\"\xFF\"}"}) {
        zqb::test::LogCapture log;
        const Json dictionary = zqb::toDictionary(text);
        EXPECT_TRUE(dictionary.is_object() && dictionary.empty()) << text;
        const auto lines = log.lines();
        ASSERT_EQ(lines.size(), 1u) << text;
        EXPECT_EQ(lines[0].level, ZQBLogLevel::error);
        EXPECT_EQ(lines[0].text.rfind(
                      "ERROR When trying to convert String to Dictionary, an error has occurred: ", 0),
                  0u)
            << lines[0].text;
    }
}
