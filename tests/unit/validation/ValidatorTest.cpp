#include "model/Storable.hpp"
#include "validation/Bounder.hpp"
#include "validation/Validator.hpp"

#include "support/LogCapture.hpp"
#include "support/Wait.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

using zqb::AnyCodable;
using zqb::Bounder;
using zqb::ExcludedOptions;
using zqb::IntMap;
using zqb::PeopleValueType;
using zqb::Validator;
using zqb::test::LogCapture;

namespace {

std::string methodError(const std::string& method, const std::string& rest) {
    return "ERROR In the " + method + " method an error has occurred: \n\t" + rest;
}

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

class ExclusionTest : public ::testing::Test {
protected:
    void SetUp() override { Validator::setExcludedOptions(std::nullopt); }
    void TearDown() override { Validator::setExcludedOptions(std::nullopt); }
};

}  // namespace

TEST(ValidatorPresence, AbsentAndEmptyValuesFailWithTheirOwnMessage) {
    LogCapture log;
    EXPECT_FALSE(Validator::notNullOrEmpty("SetUserId", "The user id argument value", std::nullopt));
    EXPECT_FALSE(Validator::notNullOrEmpty("SetUserId", "The user id argument value", std::string()));
    EXPECT_TRUE(Validator::notNullOrEmpty("SetUserId", "The user id argument value", std::string("u")));
    const std::optional<IntMap> absent;
    const std::optional<IntMap> empty = IntMap{};
    const std::optional<IntMap> balances = IntMap{{"gold", 1}};
    EXPECT_FALSE(Validator::notNullOrEmpty("CurrentBalance", "The balance parameter value", absent));
    EXPECT_FALSE(Validator::notNullOrEmpty("CurrentBalance", "The balance parameter value", empty));
    EXPECT_TRUE(Validator::notNullOrEmpty("CurrentBalance", "The balance parameter value", balances));

    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 4u);
    for (const auto& line : lines) {
        EXPECT_EQ(line.level, ZQBLogLevel::error);
    }
    EXPECT_EQ(lines[0].text, methodError("SetUserId", "The user id argument value is nil!"));
    EXPECT_EQ(lines[1].text, methodError("SetUserId", "The user id argument value is empty!"));
    EXPECT_EQ(lines[2].text, methodError("CurrentBalance", "The balance parameter value is nil!"));
    EXPECT_EQ(lines[3].text, methodError("CurrentBalance", "The balance parameter value is empty!"));
}

TEST(ValidatorNumbers, IntervalsAreInclusiveAndPrintTheirBounds) {
    LogCapture log;
    EXPECT_TRUE(Validator::inInterval<int64_t>("LevelUp", "The level argument value", 1, 1, 2147483646));
    EXPECT_TRUE(
        Validator::inInterval<int64_t>("LevelUp", "The level argument value", 2147483646, 1, 2147483646));
    EXPECT_TRUE(log.texts().empty());

    EXPECT_FALSE(Validator::inInterval<int64_t>("LevelUp", "The level argument value", 0, 1, 2147483646));
    EXPECT_FALSE(
        Validator::inInterval<int64_t>("LevelUp", "The level argument value", 2147483647, 1, 2147483646));
    EXPECT_FALSE(Validator::inInterval("AdImpression", "The revenue argument value", kInfinity, 0.0,
                                       std::numeric_limits<double>::max()));
    EXPECT_FALSE(Validator::inInterval("AdImpression", "The revenue argument value", -0.5, 0.0, 1.0));
    EXPECT_EQ(
        log.texts(),
        (std::vector<std::string>{
            methodError("LevelUp", "The level argument value [0] is less than the min [1] permitted value!"),
            methodError(
                "LevelUp",
                "The level argument value [2147483647] is greater than the max [2147483646] permitted "
                "value!"),
            methodError("AdImpression",
                        "The revenue argument value [inf] is greater than the max [1.7976931348623157e+308] "
                        "permitted value!"),
            methodError("AdImpression",
                        "The revenue argument value [-0.5] is less than the min [0.0] permitted "
                        "value!"),
        }));
}

TEST(ValidatorNumbers, NaNPassesTheIntervalButNotTheNaNCheckWhileInfinityPassesIt) {
    LogCapture log;
    EXPECT_TRUE(
        Validator::inInterval("RealCurrencyPayment", "The price argument value", kNotANumber, -1.0, 1.0));
    EXPECT_TRUE(Validator::validateDoubleNAN("RealCurrencyPayment", "The price argument value", kInfinity));
    EXPECT_TRUE(log.texts().empty());
    EXPECT_FALSE(
        Validator::validateDoubleNAN("RealCurrencyPayment", "The price argument value", kNotANumber));
    EXPECT_EQ(log.texts(),
              (std::vector<std::string>{methodError(
                  "RealCurrencyPayment", "The price argument value \n\tParameter cannot be NAN.")}));
}

TEST(ValidatorLength, ExactLengthCountsCharactersAndAbsenceIsSilent) {
    LogCapture log;
    const std::string arg = "The currency code parameter value";
    EXPECT_FALSE(Validator::equalStringLength("RealCurrencyPayment", arg, std::nullopt, 3));
    EXPECT_TRUE(log.texts().empty());
    EXPECT_TRUE(Validator::equalStringLength("RealCurrencyPayment", arg, std::string("USD"), 3));
    // "e" + combining acute is one character.
    EXPECT_TRUE(Validator::equalStringLength("RealCurrencyPayment", arg, std::string("Ue\xCC\x81X"), 3));
    EXPECT_FALSE(Validator::equalStringLength("RealCurrencyPayment", arg, std::string("USDX"), 3));
    EXPECT_EQ(
        log.texts(),
        (std::vector<std::string>{methodError(
            "RealCurrencyPayment", arg + " is invalid\n\tParameter [USDX] length must be equal to [3].")}));
}

TEST(ValidatorTypes, OnlyIntDoubleStringBoolAndGenderAreValid) {
    LogCapture log;
    const std::string m = "CustomEvent";
    const std::string arg = "The value of the parameters dictionary by [k] key";
    for (const AnyCodable& valid : {AnyCodable(int64_t{5}), AnyCodable(0.5), AnyCodable("text"),
                                    AnyCodable(true), AnyCodable::opaque(ZQBGender::female, "2")}) {
        EXPECT_TRUE(Validator::validType(m, arg, valid)) << valid.debugDescription();
    }
    EXPECT_TRUE(log.texts().empty());

    for (const AnyCodable& invalid : {AnyCodable(nullptr), AnyCodable::int32(5), AnyCodable(0.5f),
                                      AnyCodable::list({1}), AnyCodable::opaque(3, "3")}) {
        EXPECT_FALSE(Validator::validType(m, arg, invalid)) << invalid.debugDescription();
    }
    EXPECT_FALSE(Validator::validType(m, arg, std::optional<AnyCodable>()));
    EXPECT_TRUE(
        Validator::validType("SetProperty", "The value", std::optional<PeopleValueType>(ZQBGender::male)));
    EXPECT_FALSE(Validator::validType("SetProperty", "The value",
                                      std::optional<PeopleValueType>(PeopleValueType::null())));

    const auto texts = log.texts();
    ASSERT_EQ(texts.size(), 7u);
    const std::string invalidType = " \n\tParameter must be of a valid type (Bool, Int, Double, String).";
    EXPECT_EQ(texts[0], methodError(m, arg + invalidType));
    EXPECT_EQ(texts[5], methodError(m, arg + " is nil!"));
    EXPECT_EQ(texts[6], methodError("SetProperty", "The value" + invalidType));
}

TEST(BounderTest, CutsLongTextsByCharactersWithOneWarningShowingTheWholeText) {
    LogCapture log;
    const std::string arg = "The custom event name";
    EXPECT_EQ(Bounder::maxStringLength("CustomEvent", arg, std::nullopt, 3), std::nullopt);
    EXPECT_EQ(Bounder::maxStringLength("CustomEvent", arg, std::string("abc"), 3), "abc");
    EXPECT_EQ(Bounder::maxStringLength("CustomEvent", arg, std::string(), 0), "");
    // Three characters of many bytes each are not cut.
    const std::string flag = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";  // one regional-indicator pair
    const std::string accented = "e\xCC\x81";
    EXPECT_EQ(Bounder::maxStringLength("CustomEvent", arg, flag + accented + "x", 3), flag + accented + "x");
    EXPECT_TRUE(log.lines().empty());

    EXPECT_EQ(Bounder::maxStringLength("CustomEvent", arg, std::string("abcd"), 3), "abc");
    EXPECT_EQ(Bounder::maxStringLength("CustomEvent", arg, flag + accented + "xy", 2), flag + accented);

    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].level, ZQBLogLevel::warning);
    EXPECT_EQ(
        lines[0].text,
        "WARNING In the CustomEvent method an error has occurred:\n\tThe custom event name: abcd is longer "
        "than it is permitted.\n\tThe string was truncated to '3'!");
    EXPECT_NE(lines[1].text.find(": " + flag + accented + "xy is longer"), std::string::npos);
}

TEST(BounderTest, TheWarningRepeatsAtMostAThousandCharactersOfAnOverLongText) {
    const std::string accented = "e\xCC\x81";  // one character of three bytes
    const auto warningFor = [](const std::string& value) {
        LogCapture log;
        EXPECT_EQ(Bounder::maxStringLength("CustomEvent", "The name", value, 2), value.substr(0, 2));
        const auto lines = log.lines();
        EXPECT_EQ(lines.size(), 1u);
        return lines.empty() ? std::string() : lines[0].text;
    };
    const auto warningShowing = [](const std::string& shown) {
        return "WARNING In the CustomEvent method an error has occurred:\n\tThe name: " + shown +
               " is longer than it is permitted.\n\tThe string was truncated to '2'!";
    };
    std::string thousand = "ab";
    for (int i = 0; i < 998; ++i) {
        thousand += accented;
    }
    EXPECT_EQ(warningFor(thousand), warningShowing(thousand));

    // Four megabytes of a name: the line keeps its form, with the first thousand characters, none cut.
    std::string huge = thousand;
    huge.reserve(4'000'000);
    while (huge.size() < 4'000'000) {
        huge += accented;
    }
    // Compared whole but not printed: a failure would show megabytes.
    const std::string hugeWarning = warningFor(huge);
    EXPECT_LT(hugeWarning.size(), 3'200u);
    EXPECT_TRUE(hugeWarning == warningShowing(thousand + "..."));
    EXPECT_EQ(warningFor(thousand + "x"), warningShowing(thousand + "..."));
}

TEST_F(ExclusionTest, NothingIsExcludedBeforeAConfigurationArrives) {
    LogCapture log;
    EXPECT_EQ(Validator::excludedOptions(), std::nullopt);
    EXPECT_FALSE(Validator::isExcluded("ce", AnyCodable("Boss")));
    EXPECT_FALSE(Validator::isExcluded("lu", std::nullopt));
    Validator::setExcludedOptions(ExcludedOptions{});
    EXPECT_FALSE(Validator::isExcluded("lu", std::nullopt));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(ExclusionTest, ACodeWithAnEmptyListExcludesEveryEventOfThatCode) {
    Validator::setExcludedOptions(ExcludedOptions{{"lu", {}}, {"ce", {"Boss"}}});
    LogCapture log;
    EXPECT_TRUE(Validator::isExcluded("lu", std::nullopt));
    EXPECT_TRUE(Validator::isExcluded("lu", AnyCodable(7)));
    EXPECT_FALSE(Validator::isExcluded("LU", std::nullopt));
    EXPECT_FALSE(Validator::isExcluded("ca", AnyCodable("Boss")));
    // Values are listed, the argument is absent: not excluded.
    EXPECT_FALSE(Validator::isExcluded("ce", std::nullopt));

    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].level, ZQBLogLevel::info);
    EXPECT_EQ(lines[0].text, "INFO Event [lu] is excluded by project configuration");
    EXPECT_EQ(lines[1].text, "INFO Event [lu] is excluded by project configuration");
}

TEST_F(ExclusionTest, ListedValuesExcludeOnlyAnEqualValueOfTheSameKind) {
    Validator::setExcludedOptions(ExcludedOptions{
        {"ce", {AnyCodable("Boss"), AnyCodable("caf\xC3\xA9")}},
        {"tr", {AnyCodable(5)}},
    });
    LogCapture log;
    EXPECT_TRUE(Validator::isExcluded("ce", AnyCodable("Boss")));
    EXPECT_FALSE(Validator::isExcluded("ce", AnyCodable("boss")));
    // The same text written with a combining accent is the same string.
    EXPECT_TRUE(Validator::isExcluded("ce", AnyCodable("cafe\xCC\x81")));
    EXPECT_TRUE(Validator::isExcluded("tr", AnyCodable(5)));
    EXPECT_FALSE(Validator::isExcluded("tr", AnyCodable(5.0)));
    EXPECT_FALSE(Validator::isExcluded("tr", AnyCodable("5")));
    EXPECT_FALSE(Validator::isExcluded("tr", AnyCodable(6)));
    EXPECT_EQ(log.texts(),
              (std::vector<std::string>{
                  "INFO Event [ce] with [Boss] argument is excluded by project configuration",
                  "INFO Event [ce] with [cafe\xCC\x81] argument is excluded by project configuration",
                  "INFO Event [tr] with [5] argument is excluded by project configuration",
              }));

    // A configuration without an exclusion block lifts every exclusion.
    Validator::setExcludedOptions(std::nullopt);
    EXPECT_FALSE(Validator::isExcluded("tr", AnyCodable(5)));
}

TEST_F(ExclusionTest, TheTableMayBeReplacedWhileAnotherThreadChecksEvents) {
    std::atomic<bool> stop{false};
    std::atomic<int> excluded{0};
    std::thread reader([&] {
        while (!stop.load()) {
            if (Validator::isExcluded("ce", AnyCodable("Boss"))) {
                excluded.fetch_add(1);
            }
        }
    });
    for (int i = 0; i < 500; ++i) {
        Validator::setExcludedOptions(
            i % 2 == 0 ? std::optional<ExcludedOptions>(ExcludedOptions{{"ce", {"Boss"}}}) : std::nullopt);
    }
    Validator::setExcludedOptions(ExcludedOptions{{"ce", {"Boss"}}});
    ASSERT_TRUE(zqb::test::waitUntil([&] { return excluded.load() > 0; }));
    stop.store(true);
    reader.join();
}
