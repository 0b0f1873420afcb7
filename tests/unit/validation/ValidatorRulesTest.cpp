#include "validation/ValidatorRules.hpp"

#include "support/LogCapture.hpp"
#include "support/RuleMessages.hpp"
#include "validation/PeopleValidatorRules.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

using zqb::AnyCodable;
using zqb::AnyCodableMap;
using zqb::IntMap;
using zqb::ReferralData;
using zqb::ValidatorRules;
using zqb::ZQBFinishProgressionEventParametersLocal;
using zqb::ZQBSocialNetworkLocal;
using zqb::ZQBStartProgressionEventParametersLocal;
using zqb::test::canceled;
using zqb::test::error;
using zqb::test::LogCapture;
using zqb::test::truncated;
using Texts = std::vector<std::string>;

namespace {

std::string repeat(char c, std::size_t n) {
    return std::string(n, c);
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const std::string kControls = "\x01\xE2\x80\x8B\x7F";  // U+0001, ZERO WIDTH SPACE (Cf), DEL

struct TestConfiguration {
    ZQBLogLevel logLevel = ZQBLogLevel::unknown;
    std::optional<std::string> userId;
    std::optional<int64_t> level;
    ZQBTrackingStatus trackingAvailability = ZQBTrackingStatus::unknown;
};

}  // namespace

// --- Identity and start-up -------------------------------------------------------------------------

TEST(IdentityRules, KeysAndUserIdsAreCleanedCutAndRequired) {
    LogCapture log;
    EXPECT_EQ(ValidatorRules::validateInitializeKey("ke\x01y"), "key");
    EXPECT_EQ(ValidatorRules::validateInitializeKey(repeat('k', 256)), repeat('k', 255));
    EXPECT_EQ(log.texts(),
              (Texts{truncated("Initialize", "The application key argument value", repeat('k', 256), 255)}));
    log.clear();

    // The reason of a refused key stands on the ERROR's first line.
    const std::string refusal = "ERROR In the Initialize method an error has occurred: The application key ";
    EXPECT_EQ(ValidatorRules::validateInitializeKey(kControls), std::nullopt);
    EXPECT_EQ(log.texts(), (Texts{refusal + "argument value is empty!", canceled("Initialize")}));
    log.clear();

    // The key goes unescaped into every request's query: a character that means something else there is
    // refused, named, as the empty key is.
    const std::string head = refusal + "argument value holds the character ";
    const std::string tail =
        ", which cannot be sent in a request's address; a key may hold only the letters A-Z and a-z, the "
        "digits and - . _ ~ ! $ ' ( ) * , : / = @ ?";
    for (const auto& [key, named] :
         std::vector<std::pair<std::string, std::string>>{{"<application key>", "[<] (U+003C)"},
                                                          {"my key", "U+0020"},
                                                          {"a&appId=b", "[&] (U+0026)"},
                                                          {"k#1", "[#] (U+0023)"},
                                                          {"k+1", "[+] (U+002B)"},
                                                          {"k%41", "[%] (U+0025)"},
                                                          {"k;1", "[;] (U+003B)"},
                                                          {"k[1]", "[[] (U+005B)"},
                                                          {"k\\1", "[\\] (U+005C)"},
                                                          {"cl\xC3\xA9", "U+00E9"},
                                                          {"k\xF0\x9F\x8E\xAE", "U+1F3AE"}}) {
        log.clear();
        EXPECT_EQ(ValidatorRules::validateInitializeKey(key), std::nullopt) << key;
        EXPECT_EQ(log.texts(), (Texts{head + named + tail, canceled("Initialize")})) << key;
    }
    log.clear();
    // What stands for itself in a query's value passes, a base64 key's "/" and "=" among it.
    for (const std::string key : {"Az09-._~!$'()*,", "ab:cd", "x/y=z", "p@q?r", "Zm9v/w=="}) {
        EXPECT_EQ(ValidatorRules::validateInitializeKey(key), key);
    }
    EXPECT_TRUE(log.texts().empty());

    // The empty id selects the default user and passes silently; an id emptied by cleaning is refused,
    // and the caller writes the cancel notice.
    EXPECT_EQ(ValidatorRules::validateUserId("SetUserId", ""), "");
    EXPECT_EQ(ValidatorRules::validateUserId("SetUserId", repeat('u', 65)), repeat('u', 64));
    log.clear();
    EXPECT_EQ(ValidatorRules::validateUserId("SetUserId", kControls), std::nullopt);
    EXPECT_EQ(log.texts(), (Texts{error("SetUserId", "The user id argument value is empty!")}));
    log.clear();

    EXPECT_EQ(ValidatorRules::validateReplaceUserId("replaceUserId", "", "\x02"), std::nullopt);
    EXPECT_EQ(log.texts(), (Texts{error("replaceUserId", "The user id argument value is empty!"),
                                  error("replaceUserId", "The user id argument value is empty!")}));
    const auto replaced = ValidatorRules::validateReplaceUserId("replaceUserId", "o\x01ld", "new");
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced->prevUserName, "old");
    EXPECT_EQ(replaced->userName, "new");
}

TEST(IdentityRules, InitializeClearsInvalidFieldsAndNeverCancels) {
    LogCapture log;
    EXPECT_EQ(ValidatorRules::validateInitialize(std::optional<TestConfiguration>()), std::nullopt);

    const auto cleared = ValidatorRules::validateInitialize(
        std::optional<TestConfiguration>(TestConfiguration{ZQBLogLevel::debug, kControls, 0}));
    ASSERT_TRUE(cleared);
    EXPECT_EQ(cleared->logLevel, ZQBLogLevel::debug);
    EXPECT_EQ(cleared->userId, std::nullopt);
    EXPECT_EQ(cleared->level, std::nullopt);
    EXPECT_EQ(log.texts(),
              (Texts{error("Initialize", "The user id argument value is empty!"),
                     error("Initialize",
                           "The current level argument value [0] is less than the min [1] permitted "
                           "value!")}));

    const auto kept = ValidatorRules::validateInitialize(std::optional<TestConfiguration>(
        TestConfiguration{ZQBLogLevel::unknown, "", 2147483646, ZQBTrackingStatus::disable}));
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->userId, "");
    EXPECT_EQ(kept->level, 2147483646);
    EXPECT_EQ(kept->trackingAvailability, ZQBTrackingStatus::disable);
    EXPECT_EQ(log.count("canceled"), 0u);
    log.clear();

    // Numbers cast to the enumerations are not taken for a level or a tracking choice.
    const auto uncast = ValidatorRules::validateInitialize(std::optional<TestConfiguration>(TestConfiguration{
        static_cast<ZQBLogLevel>(9), std::nullopt, std::nullopt, static_cast<ZQBTrackingStatus>(-1)}));
    ASSERT_TRUE(uncast);
    EXPECT_EQ(uncast->logLevel, ZQBLogLevel::unknown);
    EXPECT_EQ(uncast->trackingAvailability, ZQBTrackingStatus::unknown);
    EXPECT_EQ(log.texts(),
              (Texts{error("Initialize",
                           "The log level argument value [9] \n\tParameter must be a case of ZQBLogLevel (0 "
                           "UNKNOWN, 1 NO, 2 ERROR, 3 WARNING, 4 INFO, 5 DEBUG)."),
                     error("Initialize",
                           "The tracking availability argument value [-1] \n\tParameter must be a case of "
                           "ZQBTrackingStatus (0 UNKNOWN, 1 ENABLE, 2 DISABLE).")}));
}

// --- Custom events ---------------------------------------------------------------------------------

TEST(CustomEventRule, BadParametersAreDroppedOneByOneWithoutCancellingTheEvent) {
    LogCapture log;
    AnyCodableMap params;
    params.insertOrAssign("\x01", AnyCodable(1));           // empty key once cleaned
    params.insertOrAssign("list", AnyCodable::list({1}));   // not a parameter kind
    params.insertOrAssign("big", AnyCodable(kInf));         // infinite
    params.insertOrAssign("small", AnyCodable(-kInf));      // infinite
    params.insertOrAssign("nan", AnyCodable(kNaN));         // not a number
    params.insertOrAssign("blank", AnyCodable(kControls));  // empty text once cleaned
    params.insertOrAssign("int32", AnyCodable::int32(3));   // only Int is an integer parameter

    const auto result = ValidatorRules::validateCustomEvent("Boss", params);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->name, "Boss");
    EXPECT_TRUE(result->params.empty());

    const std::string invalidType = " \n\tParameter must be of a valid type (Bool, Int, Double, String).";
    const auto value = [](const std::string& key) {
        return "The value of the parameters dictionary by [" + key + "] key";
    };
    EXPECT_EQ(
        log.texts(),
        (Texts{
            error("CustomEvent", "The key of the parameters dictionary is empty!"),
            error("CustomEvent", value("list") + invalidType),
            error("CustomEvent",
                  value("big") + " [inf] is greater than the max [1.7976931348623157e+308] permitted value!"),
            error(
                "CustomEvent",
                value("small") + " [-inf] is less than the min [-1.7976931348623157e+308] permitted value!"),
            error("CustomEvent", value("nan") + " \n\tParameter cannot be NAN."),
            error("CustomEvent", value("blank") + " is empty!"),
            error("CustomEvent", value("int32") + invalidType),
        }));
    EXPECT_EQ(log.count("canceled"), 0u);
}

TEST(CustomEventRule, KeysAndTextsAreCleanedAndCutAndEqualKeysKeepTheLaterValue) {
    LogCapture log;
    const std::string longKey = repeat('k', 40);
    const std::string longText = repeat('t', 300);
    AnyCodableMap params;
    params.insertOrAssign(longKey, AnyCodable(longText));
    params.insertOrAssign("n\x01", AnyCodable(1));
    params.insertOrAssign("n", AnyCodable(2));
    params.insertOrAssign("flag", AnyCodable(false));
    params.insertOrAssign("ratio", AnyCodable(std::numeric_limits<double>::max()));
    params.insertOrAssign("text", AnyCodable("a\x01"
                                             "b"));

    const auto result = ValidatorRules::validateCustomEvent(
        "ev\xE2\x80\x8B"
        "ent",
        params);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->name, "event");
    const AnyCodableMap& kept = result->params;
    EXPECT_EQ(kept.size(), 5u);
    EXPECT_TRUE(*kept.find(repeat('k', 32)) == AnyCodable(repeat('t', 255)));
    EXPECT_TRUE(*kept.find("n") == AnyCodable(2));
    EXPECT_TRUE(*kept.find("flag") == AnyCodable(false));
    EXPECT_TRUE(*kept.find("ratio") == AnyCodable(std::numeric_limits<double>::max()));
    EXPECT_TRUE(*kept.find("text") == AnyCodable("ab"));

    EXPECT_EQ(
        log.texts(),
        (Texts{truncated("CustomEvent", "The key of the parameters dictionary", longKey, 32),
               truncated("CustomEvent", "The value of the parameters dictionary by [" + longKey + "] key",
                         longText, 255)}));
}

TEST(CustomEventRule, ANameOfOnlyControlCharactersCancelsAfterEveryCheckHasRun) {
    LogCapture log;
    AnyCodableMap params;
    params.insertOrAssign("", AnyCodable(1));
    EXPECT_EQ(ValidatorRules::validateCustomEvent(kControls, params), std::nullopt);
    EXPECT_EQ(log.texts(), (Texts{error("CustomEvent", "The custom event name is empty!"),
                                  error("CustomEvent", "The key of the parameters dictionary is empty!"),
                                  canceled("CustomEvent")}));

    log.clear();
    const auto cut = ValidatorRules::validateCustomEvent(repeat('e', 73), {});
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->name, repeat('e', 72));
    EXPECT_EQ(log.count("WARNING"), 1u);
}

// --- Economy ---------------------------------------------------------------------------------------

TEST(EconomyRules, CurrencyAccrualChecksEveryArgumentThenCancelsOnce) {
    LogCapture log;
    const auto accrual =
        ValidatorRules::validateCurrencyAccrual("go\x01ld", 2147483647, "quest", ZQBAccrualType::bought);
    ASSERT_TRUE(accrual);
    EXPECT_EQ(*accrual, (ValidatorRules::CurrencyAccrualArguments{"gold", 2147483647, "quest",
                                                                  ZQBAccrualType::bought}));
    EXPECT_TRUE(log.texts().empty());

    EXPECT_EQ(ValidatorRules::validateCurrencyAccrual("", 0, "\x01", ZQBAccrualType::earned), std::nullopt);
    EXPECT_EQ(
        log.texts(),
        (Texts{error("CurrencyAccrual", "The currency name is empty!"),
               error("CurrencyAccrual", "The source is empty!"),
               error("CurrencyAccrual", "The currency amount [0] is less than the min [1] permitted value!"),
               canceled("CurrencyAccrual")}));
    log.clear();

    // A number cast to the accrual type is no kind of accrual: refused, where it used to be gathered under
    // no source and lost.
    EXPECT_EQ(ValidatorRules::validateCurrencyAccrual("gold", 5, "quest", static_cast<ZQBAccrualType>(7)),
              std::nullopt);
    EXPECT_EQ(log.texts(), (Texts{error("CurrencyAccrual",
                                        "The accrual type [7] \n\tParameter must be a case of ZQBAccrualType "
                                        "(0 earned, 1 bought)."),
                                  canceled("CurrencyAccrual")}));
}

TEST(EconomyRules, ResourceDictionariesDropBadEntriesAndMergeEquivalentKeys) {
    LogCapture log;
    const IntMap resources{
        {"cafe\xCC\x81", 1},                // the same name as "café", in decomposed form
        {"caf\xC3\xA9", 2},   {"gold", 0},  // below the range
        {"\x01", 5},                        // empty key once cleaned
        {repeat('r', 25), 7},               // long key
    };
    const IntMap result =
        ValidatorRules::validateResorces("LevelUp", "balances dictionary", resources, 24, 1, 2147483647);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result.at(repeat('r', 24)), 7);
    // One of the two spellings survives, holding the later entry's amount.
    const auto cafe = std::find_if(result.begin(), result.end(),
                                   [](const auto& entry) { return entry.first.rfind("caf", 0) == 0; });
    ASSERT_NE(cafe, result.end());
    EXPECT_EQ(cafe->second, 2);

    const Texts texts = log.texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(),
                         error("LevelUp",
                               "The value of the balances dictionary [0] is less than the min [1] "
                               "permitted value!")),
              1);
    EXPECT_EQ(std::count(texts.begin(), texts.end(),
                         error("LevelUp", "The [] key of the balances dictionary is empty!")),
              1);
    EXPECT_EQ(std::count(texts.begin(), texts.end(),
                         truncated("LevelUp", "The [" + repeat('r', 25) + "] key of the balances dictionary",
                                   repeat('r', 25), 24)),
              1);
    EXPECT_EQ(texts.size(), 3u);

    // The full 64-bit range admits every value.
    const IntMap extremes{{"a", std::numeric_limits<int64_t>::min()},
                          {"b", std::numeric_limits<int64_t>::max()}};
    EXPECT_EQ(ValidatorRules::validateResorces("CurrentBalance", "balances dictionary", extremes, 24,
                                               std::numeric_limits<int64_t>::min(),
                                               std::numeric_limits<int64_t>::max()),
              extremes);
}

TEST(EconomyRules, VirtualCurrencyPaymentNeedsAnAmountAndAResource) {
    LogCapture log;
    const auto payment =
        ValidatorRules::validateVirtualCurrencyPayment("sword\x01", "weapon", 1, {{"gold", 100}});
    ASSERT_TRUE(payment);
    EXPECT_EQ(*payment,
              (ValidatorRules::VirtualCurrencyPaymentArguments{"sword", "weapon", 1, {{"gold", 100}}}));

    EXPECT_EQ(ValidatorRules::validateVirtualCurrencyPayment("sword", "weapon", 0, {{"gold", 100}}),
              std::nullopt);
    EXPECT_EQ(log.texts(), (Texts{error("VirtualCurrencyPayment",
                                        "The purchase amount [0] is less than the min [1] permitted value!"),
                                  canceled("VirtualCurrencyPayment")}));
    log.clear();

    EXPECT_EQ(ValidatorRules::validateVirtualCurrencyPayment("sword", "weapon", 1, {{"", 100}}),
              std::nullopt);
    EXPECT_EQ(log.texts(),
              (Texts{error("VirtualCurrencyPayment", "The [] key of the resources dictionary is empty!"),
                     "ERROR VirtualCurrencyPayment has empty Resources dictionary!",
                     canceled("VirtualCurrencyPayment")}));
    log.clear();

    const auto cut =
        ValidatorRules::validateVirtualCurrencyPayment(repeat('i', 33), repeat('t', 97), 5, {{"gold", 1}});
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->purchaseId, repeat('i', 32));
    EXPECT_EQ(cut->purchaseType, repeat('t', 96));
    EXPECT_EQ(log.count("WARNING"), 2u);
}

TEST(EconomyRules, RealCurrencyPaymentKeepsTheCallersCurrencyCodeAndCutsTheOrderIdTo65) {
    LogCapture log;
    const std::string order65 = repeat('o', 65);
    const auto payment = ValidatorRules::validateRealCurrencyPayment(order65, -1.5,
                                                                     "pro\x01"
                                                                     "duct",
                                                                     "U\x01SD");
    ASSERT_TRUE(payment);
    EXPECT_EQ(*payment, (ValidatorRules::RealCurrencyPaymentArguments{order65, -1.5, "product", "U\x01SD"}));
    EXPECT_TRUE(log.texts().empty());

    const auto cut = ValidatorRules::validateRealCurrencyPayment(order65 + "x", 1.0, "product", "USD");
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->orderId, order65);
    EXPECT_EQ(log.texts(),
              (Texts{truncated("RealCurrencyPayment", "The order id argument value", order65 + "x", 65)}));
    log.clear();

    EXPECT_EQ(ValidatorRules::validateRealCurrencyPayment("", kNaN, "\x01", "USDX"), std::nullopt);
    EXPECT_EQ(log.texts(),
              (Texts{error("RealCurrencyPayment",
                           "The currency code parameter value is invalid\n\tParameter [USDX] "
                           "length must be equal to [3]."),
                     error("RealCurrencyPayment", "The price argument value \n\tParameter cannot be NAN."),
                     error("RealCurrencyPayment", "The order id argument value is empty!"),
                     error("RealCurrencyPayment", "The product id parameter value is empty!"),
                     canceled("RealCurrencyPayment")}));
    log.clear();

    EXPECT_EQ(ValidatorRules::validateRealCurrencyPayment("o", kInf, "p", "USD"), std::nullopt);
    EXPECT_EQ(log.count("[inf] is greater than the max [1.7976931348623157e+308]"), 1u);
}

TEST(EconomyRules, SubscriptionPaymentRequiresBothIds) {
    LogCapture log;
    const auto payment = ValidatorRules::validateSubscriptionPayment(repeat('p', 256), "t\x01");
    ASSERT_TRUE(payment);
    EXPECT_EQ(payment->productId, repeat('p', 255));
    EXPECT_EQ(payment->transactionId, "t");
    log.clear();
    EXPECT_EQ(ValidatorRules::validateSubscriptionPayment("\x01", ""), std::nullopt);
    EXPECT_EQ(log.texts(), (Texts{error("SubscriptionPayment", "The product id argument value is empty!"),
                                  error("SubscriptionPayment", "The transaction id argument value is empty!"),
                                  canceled("SubscriptionPayment")}));
}

// --- Progression -----------------------------------------------------------------------------------

TEST(ProgressionRules, StartKeepsAnEmptiedSourceAndRefusesANegativeDifficulty) {
    LogCapture log;
    const auto start = ValidatorRules::validateStartProgressionEvent(
        "Dungeon", ZQBStartProgressionEventParametersLocal{4, kControls});
    ASSERT_TRUE(start);
    EXPECT_EQ(*start, (ValidatorRules::StartProgressionEventArguments{"Dungeon", {4, ""}}));
    EXPECT_TRUE(log.texts().empty());

    const auto plain = ValidatorRules::validateStartProgressionEvent(repeat('d', 41), {});
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, (ValidatorRules::StartProgressionEventArguments{repeat('d', 40), {}}));
    log.clear();

    EXPECT_EQ(ValidatorRules::validateStartProgressionEvent("Dungeon", {-1, repeat('s', 41)}), std::nullopt);
    EXPECT_EQ(log.texts(),
              (Texts{truncated("StartProgressionEvent", "The source parameter value", repeat('s', 41), 40),
                     error("StartProgressionEvent",
                           "The difficulty parameter value [-1] is less than the min [0] permitted value!"),
                     canceled("StartProgressionEvent")}));
}

TEST(ProgressionRules, FinishDropsBadResourcesButCancelsOnNameOrDuration) {
    LogCapture log;
    const ZQBFinishProgressionEventParametersLocal parameters{
        true, 30, {{"gold", 0}, {"gems", 2}}, {{"xp", 9}}};
    const auto finish = ValidatorRules::validateFinishProgressionEvent("Dungeon", parameters);
    ASSERT_TRUE(finish);
    EXPECT_EQ(*finish, (ValidatorRules::FinishProgressionEventArguments{
                           "Dungeon", {true, 30, {{"gems", 2}}, {{"xp", 9}}}}));
    EXPECT_EQ(
        log.texts(),
        (Texts{error("FinishProgressionEvent",
                     "The value of the spent dictionary [0] is less than the min [1] permitted value!")}));
    log.clear();

    EXPECT_EQ(ValidatorRules::validateFinishProgressionEvent("\x01", {false, -1, {}, {}}), std::nullopt);
    EXPECT_EQ(log.texts(),
              (Texts{error("FinishProgressionEvent", "The event name argument value is empty!"),
                     error("FinishProgressionEvent",
                           "The duration parameter value [-1] is less than the min [0] permitted value!"),
                     canceled("FinishProgressionEvent")}));
}

// --- Social, referral and ads ----------------------------------------------------------------------

TEST(SocialRules, NetworkNamesAndReasonsAreCutAndRequired) {
    LogCapture log;
    EXPECT_EQ(ValidatorRules::validateSocialNetworkConnect({repeat('n', 25)}), repeat('n', 24));
    log.clear();
    EXPECT_EQ(ValidatorRules::validateSocialNetworkConnect({"\x01"}), std::nullopt);
    EXPECT_EQ(log.texts(),
              (Texts{error("SocialNetworkConnect", "The social network name argument value is empty!"),
                     canceled("SocialNetworkConnect")}));
    log.clear();

    const auto post = ValidatorRules::validateSocialNetworkPost({"fb"}, repeat('r', 33));
    ASSERT_TRUE(post);
    EXPECT_EQ(*post, (ValidatorRules::SocialNetworkPostArguments{"fb", repeat('r', 32)}));
    log.clear();
    EXPECT_EQ(ValidatorRules::validateSocialNetworkPost({""}, ""), std::nullopt);
    EXPECT_EQ(log.texts(),
              (Texts{error("SocialNetworkPost", "The social network name argument value is empty!"),
                     error("SocialNetworkPost", "The post reason argument value is empty!"),
                     canceled("SocialNetworkPost")}));
}

TEST(ReferrerRule, EmptiedValuesAreDroppedAndANothingLeftCancels) {
    LogCapture log;
    const ReferralData data{{ZQBReferralProperty::source(), "ads\x01"},
                            {ZQBReferralProperty::campaign(), kControls},
                            {ZQBReferralProperty("custom"), repeat('v', 256)}};
    const auto kept = ValidatorRules::validateReferrer(data);
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept, (ReferralData{{ZQBReferralProperty::source(), "ads"},
                                   {ZQBReferralProperty("custom"), repeat('v', 255)}}));
    EXPECT_TRUE(log.contains(
        error("Referrer", "The [] value of the utm data dictionary by [campaign] key is empty!")));
    EXPECT_EQ(log.count("WARNING"), 1u);
    log.clear();

    EXPECT_EQ(ValidatorRules::validateReferrer({{ZQBReferralProperty::term(), ""}}), std::nullopt);
    EXPECT_EQ(log.texts(),
              (Texts{error("Referrer", "The [] value of the utm data dictionary by [term] key is empty!"),
                     error("Referrer", "The referrer argument value is empty!"), canceled("Referrer")}));
}

TEST(ReferrerRule, AReferralWithNoPredefinedKeyLeftIsRefused) {
    // Sent, it would be an empty referral, and the once-only rule would then drop the real one.
    LogCapture log;
    const std::string nothing =
        "The referrer argument value holds no value under the source, campaign, content, medium or term key: "
        "there is nothing to report.";
    EXPECT_EQ(ValidatorRules::validateReferrer({{ZQBReferralProperty("custom"), "x"}}), std::nullopt);
    EXPECT_EQ(log.texts(), (Texts{error("Referrer", nothing), canceled("Referrer")}));
    log.clear();
    EXPECT_EQ(ValidatorRules::validateReferrer(
                  {{ZQBReferralProperty("custom"), "x"}, {ZQBReferralProperty::medium(), kControls}}),
              std::nullopt);
    EXPECT_EQ(log.texts(),
              (Texts{error("Referrer", "The [] value of the utm data dictionary by [medium] key is empty!"),
                     error("Referrer", nothing), canceled("Referrer")}));
    log.clear();
    EXPECT_TRUE(ValidatorRules::validateReferrer(
        {{ZQBReferralProperty("custom"), "x"}, {ZQBReferralProperty::term(), "t"}}));
    EXPECT_TRUE(log.texts().empty());
}

// A log line repeats no more than 1,000 characters of any argument, however long the argument.
TEST(ArgumentEchoes, NoLogLineRepeatsMoreThanAThousandCharactersOfAnArgument) {
    LogCapture log;
    const std::string huge = repeat('h', 1'000'000);
    const std::string shown = repeat('h', 1000) + "...";
    const auto longest = [&log] {
        std::size_t most = 0;
        for (const auto& text : log.texts()) {
            most = std::max(most, text.size());
        }
        return most;
    };
    constexpr std::size_t bound = 3 * 1003 + 300;

    ValidatorRules::validateCustomEvent("event", AnyCodableMap{{huge, AnyCodable(huge)}});
    EXPECT_LE(longest(), bound);
    EXPECT_TRUE(log.contains("The value of the parameters dictionary by [" + shown + "] key: " + shown +
                             " is longer than it is permitted."));
    log.clear();

    ValidatorRules::validateReferrer(
        {{ZQBReferralProperty::source(), huge}, {ZQBReferralProperty(huge), huge}});
    EXPECT_LE(longest(), bound);
    EXPECT_TRUE(log.contains("The [" + shown + "] value of the utm data dictionary by [source] key: " +
                             shown + " is longer than it is permitted."));
    log.clear();

    ValidatorRules::validateResorces("LevelUp", "balance dictionary", IntMap{{huge, 0}}, 24, 1, 10);
    EXPECT_LE(longest(), bound);
    EXPECT_TRUE(log.contains("The [" + shown + "] key of the balance dictionary: " + shown));
    log.clear();

    ValidatorRules::validateRealCurrencyPayment("order", 1.0, "product", huge);
    EXPECT_LE(longest(), bound);
    EXPECT_TRUE(log.contains("Parameter [" + shown + "] length must be equal to [3]."));
    log.clear();

    zqb::PeopleValidatorRules::validateKey("Increment", huge);
    zqb::PeopleValidatorRules::validateUnset("Unset", {huge});
    EXPECT_LE(longest(), bound);
    EXPECT_TRUE(log.contains("The [" + shown + "] key argument: " + shown));
    EXPECT_TRUE(log.contains("The [" + shown + "] key of the keys array: " + shown));
}

TEST(AdImpressionRule, RevenueFromZeroAndOptionalTextsEmptiedSilently) {
    LogCapture log;
    const auto impression = ValidatorRules::validateAdImpression("net\x01", 0.0, kControls, repeat('u', 101));
    ASSERT_TRUE(impression);
    EXPECT_EQ(*impression,
              (ValidatorRules::AdImpressionArguments{"net", 0.0, std::nullopt, repeat('u', 100)}));
    EXPECT_EQ(log.texts(),
              (Texts{truncated("AdImpression", "The unit argument value", repeat('u', 101), 100)}));
    log.clear();

    EXPECT_EQ(ValidatorRules::validateAdImpression("net", -0.01, std::nullopt, std::nullopt), std::nullopt);
    EXPECT_EQ(log.texts(),
              (Texts{error("AdImpression",
                           "The revenue argument value [-0.01] is less than the min [0.0] permitted "
                           "value!"),
                     canceled("AdImpression")}));
    log.clear();

    EXPECT_EQ(ValidatorRules::validateAdImpression("", kNaN, "p", "u"), std::nullopt);
    EXPECT_EQ(log.texts(),
              (Texts{error("AdImpression", "The network argument value is empty!"),
                     error("AdImpression", "The revenue argument value \n\tParameter cannot be NAN."),
                     canceled("AdImpression")}));
}

TEST(CancelNotice, NamesTheMethod) {
    LogCapture log;
    ValidatorRules::notifyThatMethodExecutionWasCanceled("Tutorial");
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, ZQBLogLevel::error);
    EXPECT_EQ(lines[0].text, "ERROR Execution of the Tutorial method was canceled!");
}
