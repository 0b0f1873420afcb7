#include "validation/PeopleValidatorRules.hpp"

#include "support/LogCapture.hpp"
#include "support/RuleMessages.hpp"

#include <gtest/gtest.h>

#include <limits>

using zqb::PeopleReservedKeys;
using zqb::PeopleValidatorRules;
using zqb::PeopleValueType;
using zqb::test::canceled;
using zqb::test::error;
using zqb::test::LogCapture;
using zqb::test::truncated;
using Texts = std::vector<std::string>;

namespace {

constexpr const char* kSet = "set(key:value:)";

const std::string kPeopleControls = "\x01\xE2\x80\x8B\x7F";  // U+0001, ZERO WIDTH SPACE (Cf), DEL

}  // namespace

TEST(PeopleValidatorRules, SetCleansAndCutsKeyAndTextAndRunsEveryCheckBeforeCancelling) {
    LogCapture log;
    const std::string longKey(70, 'k');
    auto set = PeopleValidatorRules::validateSet(kSet, "a" + kPeopleControls + longKey,
                                                 PeopleValueType(std::string(256, 'v')));
    ASSERT_TRUE(set);
    EXPECT_EQ(set->key, "a" + std::string(63, 'k'));
    EXPECT_TRUE(set->value.isEqual(PeopleValueType(std::string(255, 'v'))));
    EXPECT_EQ(log.texts(), (Texts{truncated(kSet, "The key argument", "a" + longKey, 64),
                                  truncated(kSet, "The value argument", std::string(256, 'v'), 255)}));
    log.clear();

    // Every value check runs even when the key failed; one cancel notice ends the call.
    EXPECT_FALSE(PeopleValidatorRules::validateSet(
        kSet, kPeopleControls, PeopleValueType(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(log.texts(),
              (Texts{error(kSet, "The key argument is empty!"),
                     error(kSet, "The value argument \n\tParameter cannot be NAN."), canceled(kSet)}));
    log.clear();
    EXPECT_FALSE(PeopleValidatorRules::validateSet(kSet, "k",
                                                   PeopleValueType(std::numeric_limits<double>::infinity())));
    EXPECT_FALSE(PeopleValidatorRules::validateSet(kSet, "k", PeopleValueType(kPeopleControls)));
    EXPECT_FALSE(PeopleValidatorRules::validateSet(kSet, "k", PeopleValueType::null()));
    EXPECT_EQ(log.texts(),
              (Texts{error(kSet,
                           "The value argument [inf] is greater than the max [1.7976931348623157e+308] "
                           "permitted value!"),
                     canceled(kSet), error(kSet, "The value argument is empty!"), canceled(kSet),
                     error(kSet,
                           "The value argument \n\tParameter must be of a valid type (Bool, Int, Double, "
                           "String)."),
                     canceled(kSet)}));
    log.clear();

    // Integers of any size and flags pass as they are; a gender as its raw value, the form the card reads
    // back from the database, so that setting the same gender again changes nothing.
    for (const PeopleValueType& value :
         {PeopleValueType(std::numeric_limits<int64_t>::min()), PeopleValueType(false),
          PeopleValueType(-std::numeric_limits<double>::max())}) {
        const auto passed = PeopleValidatorRules::validateSet(kSet, "k", value);
        ASSERT_TRUE(passed);
        EXPECT_TRUE(passed->value.isEqual(value));
    }
    const auto gender = PeopleValidatorRules::validateSet("setGender(gender:)", "gender", ZQBGender::female);
    ASSERT_TRUE(gender);
    EXPECT_TRUE(gender->value.isEqual(PeopleValueType(2)));
    EXPECT_TRUE(log.texts().empty());

    // A number cast to a gender is none.
    EXPECT_FALSE(
        PeopleValidatorRules::validateSet("setGender(gender:)", "gender", static_cast<ZQBGender>(9)));
    EXPECT_EQ(log.texts(), (Texts{error("setGender(gender:)",
                                        "The value argument [9] \n\tParameter must be a case of ZQBGender (0 "
                                        "Unknown, 1 Male, 2 Female)."),
                                  canceled("setGender(gender:)")}));
}

TEST(PeopleValidatorRules, KeysToReadAndToUnsetAreCleanedAndEmptyOnesRefusedOneByOne) {
    LogCapture log;
    EXPECT_EQ(PeopleValidatorRules::validateKey("getValue(key:_:)",
                                                "a\x01"
                                                "b"),
              "ab");
    EXPECT_EQ(PeopleValidatorRules::validateKey("getValue(key:_:)", kPeopleControls), std::nullopt);
    EXPECT_EQ(log.texts(), (Texts{error("getValue(key:_:)", "The [] key argument is empty!"),
                                  canceled("getValue(key:_:)")}));
    log.clear();

    const std::string longKey(65, 'k');
    EXPECT_EQ(PeopleValidatorRules::validateUnset("unset(properties:)", {"x", kPeopleControls, "x", longKey}),
              (Texts{"x", "x", std::string(64, 'k')}));
    EXPECT_EQ(
        log.texts(),
        (Texts{error("unset(properties:)", "The [] key of the keys array is empty!"),
               truncated("unset(properties:)", "The [" + longKey + "] key of the keys array", longKey, 64)}));
    log.clear();

    // Nothing left: no result and no cancel notice.
    EXPECT_EQ(PeopleValidatorRules::validateUnset("unset(properties:)", {}), std::nullopt);
    EXPECT_TRUE(log.texts().empty());
    EXPECT_EQ(PeopleValidatorRules::validateUnset("unset(properties:)", {""}), std::nullopt);
    EXPECT_EQ(log.texts(), (Texts{error("unset(properties:)", "The [] key of the keys array is empty!")}));
}

TEST(PeopleValidatorRules, ReservedKeysTakeOnlyTheirOwnKindOfValue) {
    struct Case {
        PeopleReservedKeys key;
        PeopleValueType accepted;
        PeopleValueType refused;
        std::string message;
    };
    const std::vector<Case> cases{
        {PeopleReservedKeys::name, PeopleValueType("Ann"), PeopleValueType(true),
         "Invalid value! The [true] value of the reserved key [name] must be String"},
        {PeopleReservedKeys::photo, PeopleValueType(""), PeopleValueType(3),
         "Invalid value! The [3] value of the reserved key [photo] must be String"},
        {PeopleReservedKeys::gender, PeopleValueType(ZQBGender::male), PeopleValueType(1),
         "Invalid value! The [1] value of the reserved key [gender] must be ZQBGender"},
        {PeopleReservedKeys::age, PeopleValueType(std::numeric_limits<int64_t>::max()), PeopleValueType(2.5),
         "Invalid value! The [2.5] value of the reserved key [age] must be Int"},
        {PeopleReservedKeys::cheater, PeopleValueType(false), PeopleValueType("yes"),
         "Invalid value! The [yes] value of the reserved key [cheater] must be Bool"},
    };
    for (const Case& c : cases) {
        LogCapture log;
        EXPECT_TRUE(PeopleValidatorRules::validateReservedValueType(kSet, c.key, c.accepted));
        EXPECT_FALSE(PeopleValidatorRules::validateReservedValueType(kSet, c.key, c.refused));
        EXPECT_EQ(log.texts(), Texts{"ERROR " + c.message});
    }
}
