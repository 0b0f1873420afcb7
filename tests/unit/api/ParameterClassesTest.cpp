#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include "api/CustomEventParametersCopy.hpp"
#include "model/ZQBFinishProgressionEventParametersLocal.hpp"
#include "model/ZQBSocialNetworkLocal.hpp"
#include "model/ZQBStartProgressionEventParametersLocal.hpp"
#include "validation/CustomEventParamsLimit.hpp"

#include "support/LogCapture.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

using zqb::AnyCodable;
using zqb::CustomEventParamsLimit;
using zqb::test::LogCapture;

namespace {

class CustomEventParametersTest : public ::testing::Test {
protected:
    void TearDown() override { CustomEventParamsLimit::clear(); }
};

}  // namespace

TEST_F(CustomEventParametersTest, TheDefaultLimitOf20RefusesTheNextParameterEvenForAKnownKey) {
    LogCapture log;
    ZQBCustomEventParameters parameters;
    for (int i = 0; i < 20; ++i) {
        parameters.add("key" + std::to_string(i), i);
    }
    EXPECT_TRUE(log.lines().empty());

    parameters.add("key20", true);
    parameters.add("key0", "replacement");
    const auto stored = parameters.getAllParameters();
    EXPECT_EQ(stored.size(), 20u);
    EXPECT_EQ(stored.at("key0"), ZQBCustomEventParameters::Value(int64_t{0}));
    EXPECT_EQ(log.texts(),
              (std::vector<std::string>{
                  "ERROR [CustomEventParameters] Limit of [20] is reached when adding a new parameter",
                  "ERROR [CustomEventParameters] Limit of [20] is reached when adding a new parameter",
              }));
}

TEST_F(CustomEventParametersTest, ThePublishedProjectLimitApplies) {
    LogCapture log;
    CustomEventParamsLimit::publish(5);
    ZQBCustomEventParameters parameters;
    for (int i = 0; i < 6; ++i) {
        parameters.add("key" + std::to_string(i), 1.5);
    }
    EXPECT_EQ(parameters.getAllParameters().size(), 5u);
    EXPECT_EQ(log.texts(),
              (std::vector<std::string>{
                  "ERROR [CustomEventParameters] Limit of [5] is reached when adding a new parameter"}));

    CustomEventParamsLimit::clear();
    EXPECT_EQ(CustomEventParamsLimit::current(), 20);
}

TEST_F(CustomEventParametersTest, TheLimitMayChangeWhileAnotherThreadAddsParameters) {
    std::atomic<bool> stop{false};
    std::thread publisher([&] {
        for (int64_t i = 0; !stop.load(); ++i) {
            CustomEventParamsLimit::publish(10 + i % 20);
        }
    });
    LogCapture log(ZQBLogLevel::no);
    for (int round = 0; round < 200; ++round) {
        ZQBCustomEventParameters parameters;
        for (int i = 0; i < 40; ++i) {
            parameters.add("k" + std::to_string(i), i);
        }
        EXPECT_LE(parameters.getAllParameters().size(), 29u);
    }
    stop.store(true);
    publisher.join();
}

TEST_F(CustomEventParametersTest, KeysAreOneKeyUpToNormalisationAndTextsAreRepaired) {
    ZQBCustomEventParameters parameters;
    parameters.add("caf\xC3\xA9", int64_t{1});
    parameters.add("cafe\xCC\x81", std::string("second"));
    parameters.add("bad\xFF", "text\xC3");
    parameters.add("small", static_cast<short>(-3));
    parameters.add("ratio", 0.25f);

    const auto stored = parameters.getAllParameters();
    ASSERT_EQ(stored.size(), 4u);
    EXPECT_EQ(stored.at("caf\xC3\xA9"), ZQBCustomEventParameters::Value(std::string("second")));
    EXPECT_EQ(stored.at("bad\xEF\xBF\xBD"), ZQBCustomEventParameters::Value(std::string("text\xEF\xBF\xBD")));
    EXPECT_EQ(stored.at("small"), ZQBCustomEventParameters::Value(int64_t{-3}));
    EXPECT_EQ(stored.at("ratio"), ZQBCustomEventParameters::Value(0.25));

    // The queued copy holds each value as the dynamic value of its own kind.
    const zqb::AnyCodableMap copy = zqb::customEventParametersCopy(parameters).expand();
    EXPECT_EQ(copy.find("small")->kind(), AnyCodable::Kind::int_);
    EXPECT_EQ(copy.find("ratio")->kind(), AnyCodable::Kind::double_);
    EXPECT_TRUE(*copy.find("cafe\xCC\x81") == AnyCodable("second"));
}

// A key whose normalised form is plain ASCII (the Kelvin sign is "K") is one key with that ASCII key, in
// either order; the set, its description and the queued copy list the keys in the same order.
TEST_F(CustomEventParametersTest, KeysNormalisedToAsciiAreOneKeyAndEveryViewKeepsTheOrderOfKeys) {
    ZQBCustomEventParameters kelvinFirst;
    kelvinFirst.add("\xE2\x84\xAA", int64_t{1});
    kelvinFirst.add("K", int64_t{2});
    ZQBCustomEventParameters asciiFirst;
    asciiFirst.add("K", int64_t{1});
    asciiFirst.add("\xE2\x84\xAA", int64_t{2});
    EXPECT_EQ(kelvinFirst.getAllParameters(),
              (std::map<std::string, ZQBCustomEventParameters::Value>{{"\xE2\x84\xAA", int64_t{2}}}));
    EXPECT_EQ(asciiFirst.getAllParameters(),
              (std::map<std::string, ZQBCustomEventParameters::Value>{{"K", int64_t{2}}}));

    ZQBCustomEventParameters parameters;
    for (const char* key : {"zeta", "Alpha", "mode", "\xC3\xA9t\xC3\xA9", "alpha", "_x", "b2", "b10"}) {
        parameters.add(key, key);
    }
    parameters.add("mode", false);
    std::vector<std::string> expected;
    for (const auto& [key, value] : parameters.getAllParameters()) {
        expected.push_back(key);
    }
    std::vector<std::string> copied;
    for (const auto& [key, value] : zqb::customEventParametersCopy(parameters).expand()) {
        copied.push_back(key);
    }
    EXPECT_EQ(copied, expected);
    EXPECT_EQ(parameters.description().substr(0, 16), "key: Alpha value");
    EXPECT_TRUE(*zqb::customEventParametersCopy(parameters).expand().find("mode") == AnyCodable(false));

    // A copy of the set is a set of its own.
    ZQBCustomEventParameters copy = parameters;
    copy.add("mode", int64_t{3});
    EXPECT_EQ(parameters.getAllParameters().at("mode"), ZQBCustomEventParameters::Value(false));
    EXPECT_EQ(copy.getAllParameters().size(), parameters.getAllParameters().size());
}

TEST_F(CustomEventParametersTest, DescriptionListsEveryParameter) {
    ZQBCustomEventParameters parameters;
    EXPECT_EQ(parameters.description(), "");
    parameters.add("a", true);
    parameters.add("b", 5);
    parameters.add("c", 5.0);
    parameters.add("d", "text");
    EXPECT_EQ(parameters.description(),
              "key: a value: true\nkey: b value: 5\nkey: c value: 5.0\nkey: d value: text");
}

TEST(ProgressionParameters, StartDescribesOnlyWhatIsSetAndItsCopyIsIndependent) {
    ZQBStartProgressionEventParameters parameters;
    EXPECT_EQ(parameters.description(), "");
    parameters.setDifficulty(3);
    EXPECT_EQ(parameters.description(), "difficulty: 3\n");
    parameters.setSource("map\xFF");
    EXPECT_EQ(parameters.source(), "map\xEF\xBF\xBD");
    EXPECT_EQ(parameters.description(), "difficulty: 3\nsource: map\xEF\xBF\xBD");

    const auto copy = zqb::ZQBStartProgressionEventParametersLocal::from(parameters);
    parameters.setSource(std::nullopt);
    parameters.setDifficulty(9);
    EXPECT_EQ(copy, (zqb::ZQBStartProgressionEventParametersLocal{3, "map\xEF\xBF\xBD"}));
    EXPECT_EQ(copy.description(), "difficulty: 3\nsource: map\xEF\xBF\xBD");
}

TEST(ProgressionParameters, FinishDefaultsAndDescription) {
    ZQBFinishProgressionEventParameters parameters;
    EXPECT_FALSE(parameters.successfulCompletion());
    EXPECT_EQ(parameters.duration(), 0);
    EXPECT_TRUE(parameters.spent().empty());
    EXPECT_TRUE(parameters.earned().empty());
    EXPECT_EQ(parameters.description(), "successfulCompletion: false\nduration: 0\n");

    parameters.setSuccessfulCompletion(true);
    parameters.setDuration(42);
    parameters.setSpent({{"gems", 2}, {"gold", 10}});
    parameters.setEarned({{"x\xFF", 7}});
    EXPECT_EQ(parameters.earned(), (std::map<std::string, int64_t>{{"x\xEF\xBF\xBD", 7}}));
    EXPECT_EQ(parameters.description(),
              "successfulCompletion: true\nduration: 42\n"
              "\t resource: \n\t\t resource: gems amount: 2\n\t\t resource: gold amount: 10\n"
              "\t resource: \n\t\t resource: x\xEF\xBF\xBD amount: 7\n");

    const auto copy = zqb::ZQBFinishProgressionEventParametersLocal::from(parameters);
    EXPECT_EQ(copy, (zqb::ZQBFinishProgressionEventParametersLocal{
                        true, 42, {{"gems", 2}, {"gold", 10}}, {{"x\xEF\xBF\xBD", 7}}}));
    EXPECT_EQ(copy.description(), parameters.description());
}

TEST(ReferralProperties, SameNameIsTheSameKey) {
    const ZQBReferralProperty first("source");
    const ZQBReferralProperty second(std::string("source"));
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, ZQBReferralProperty::source());
    EXPECT_EQ(std::hash<ZQBReferralProperty>{}(first),
              std::hash<ZQBReferralProperty>{}(ZQBReferralProperty::source()));
    EXPECT_EQ(&ZQBReferralProperty::source(), &ZQBReferralProperty::source());
    EXPECT_EQ(first.description(), "name: source");

    std::unordered_map<ZQBReferralProperty, std::string> data{{ZQBReferralProperty::source(), "ads"}};
    data[first] = "store";
    EXPECT_EQ(data.size(), 1u);
    EXPECT_EQ(data.at(ZQBReferralProperty::source()), "store");

    // Canonically equivalent names are one key; the given spelling is kept.
    const ZQBReferralProperty composed("caf\xC3\xA9");
    const ZQBReferralProperty decomposed("cafe\xCC\x81");
    EXPECT_EQ(composed, decomposed);
    EXPECT_EQ(composed.hash(), decomposed.hash());
    EXPECT_EQ(decomposed.name(), "cafe\xCC\x81");
    EXPECT_NE(ZQBReferralProperty("Source"), ZQBReferralProperty::source());

    EXPECT_EQ(ZQBReferralProperty::campaign().name(), "campaign");
    EXPECT_EQ(ZQBReferralProperty::content().name(), "content");
    EXPECT_EQ(ZQBReferralProperty::medium().name(), "medium");
    EXPECT_EQ(ZQBReferralProperty::term().name(), "term");
}

TEST(SocialNetworks, PredefinedCodesAndRepairedNames) {
    const std::vector<std::pair<const ZQBSocialNetwork*, std::string>> expected{
        {&ZQBSocialNetwork::facebook(), "fb"}, {&ZQBSocialNetwork::vkontakte(), "vk"},
        {&ZQBSocialNetwork::twitter(), "tw"},  {&ZQBSocialNetwork::googleplus(), "gp"},
        {&ZQBSocialNetwork::whatsapp(), "wp"}, {&ZQBSocialNetwork::viber(), "vb"},
        {&ZQBSocialNetwork::evernote(), "en"}, {&ZQBSocialNetwork::googlemail(), "gm"},
        {&ZQBSocialNetwork::linkedin(), "in"}, {&ZQBSocialNetwork::pinterest(), "pi"},
        {&ZQBSocialNetwork::qzone(), "qq"},    {&ZQBSocialNetwork::reddit(), "rt"},
        {&ZQBSocialNetwork::renren(), "rr"},   {&ZQBSocialNetwork::tumblr(), "tb"},
    };
    for (const auto& [network, code] : expected) {
        EXPECT_EQ(network->name(), code);
    }
    EXPECT_EQ(ZQBSocialNetwork("my\xC0net").name(), "my\xEF\xBF\xBDnet");
    EXPECT_EQ(zqb::ZQBSocialNetworkLocal::from(ZQBSocialNetwork::qzone()).name, "qq");
}

TEST(PublicEnums, RawValuesOutsideTheCasesGiveNothing) {
    EXPECT_EQ(ZQBTrackingStatusFromRawValue(3), std::nullopt);
    EXPECT_EQ(ZQBAccrualTypeFromRawValue(2), std::nullopt);
    EXPECT_EQ(ZQBGenderFromRawValue(-1), std::nullopt);
    EXPECT_EQ(ZQBGenderFromRawValue(2), ZQBGender::female);
    EXPECT_EQ(ZQBReceiptStatusFromRawValue(4), ZQBReceiptStatus::internalError);
    EXPECT_EQ(ZQBReceiptStatusFromRawValue(5), std::nullopt);
    EXPECT_EQ(ZQBReceiptStatusFromRawValue(-1), std::nullopt);
    EXPECT_EQ(description(ZQBTrackingStatus::disable), "DISABLE");
    EXPECT_EQ(description(ZQBAccrualType::bought), "bought");
    EXPECT_EQ(description(ZQBGender::unknown), "Unknown");
    EXPECT_EQ(description(ZQBReceiptStatus::notValid), "Receipt not valid");
}
