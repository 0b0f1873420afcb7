// The user card through its public interface: what the getters answer, which calls are refused, and the
// user-card events ("pl") that reach the gateway.

#include "integration/EndToEndFixture.hpp"
#include "support/LogCapture.hpp"
#include "support/RuleMessages.hpp"

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

namespace zqb {
namespace {

using Texts = std::vector<std::string>;
using Value = ZQBUserCard::Value;

class UserCardEndToEnd : public test::EndToEndTest {
protected:
    // What a getter answers, once its handler has run.
    template <typename T, typename Getter>
    static T answerOf(Getter getter) {
        auto promise = std::make_shared<std::promise<T>>();
        auto answer = promise->get_future();
        getter([promise](const auto& value) { promise->set_value(value); });
        if (answer.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "no answer";
            return T{};
        }
        return answer.get();
    }

    static std::optional<Value> valueOf(const std::string& key) {
        return answerOf<std::optional<Value>>([&key](auto handler) { ZQBUserCard::getValue(key, handler); });
    }

    // The parameters of the user-card events the gateway received, in order.
    std::vector<nlohmann::json> sentParameters() {
        std::vector<nlohmann::json> parameters;
        for (const auto& event : sentEvents("pl")) {
            parameters.push_back(event.value("parameters", nlohmann::json()));
        }
        return parameters;
    }

    test::LogCapture log;
};

TEST_F(UserCardEndToEnd, ReservedPropertiesAreReadBackAndReportedInOneEvent) {
    replyWithConfiguration();
    start();
    EXPECT_EQ(answerOf<std::string>(ZQBUserCard::getName), "");
    EXPECT_EQ(answerOf<ZQBGender>(ZQBUserCard::getGender), ZQBGender::unknown);
    EXPECT_EQ(answerOf<int64_t>(ZQBUserCard::getAge), 0);
    EXPECT_FALSE(answerOf<bool>(ZQBUserCard::getCheater));

    ZQBUserCard::setName("Ann");
    ZQBUserCard::setEmail("ann@example.com");
    ZQBUserCard::setPhone("+100200300");
    ZQBUserCard::setPhoto("https://example.com/ann.png");
    ZQBUserCard::setGender(ZQBGender::female);
    ZQBUserCard::setAge(30);
    ZQBUserCard::setCheater(true);  // a new cheater mark records the card's changes at once
    EXPECT_EQ(answerOf<std::string>(ZQBUserCard::getName), "Ann");
    EXPECT_EQ(answerOf<std::string>(ZQBUserCard::getEmail), "ann@example.com");
    EXPECT_EQ(answerOf<std::string>(ZQBUserCard::getPhone), "+100200300");
    EXPECT_EQ(answerOf<std::string>(ZQBUserCard::getPhoto), "https://example.com/ann.png");
    EXPECT_EQ(answerOf<ZQBGender>(ZQBUserCard::getGender), ZQBGender::female);
    EXPECT_EQ(answerOf<int64_t>(ZQBUserCard::getAge), 30);
    EXPECT_TRUE(answerOf<bool>(ZQBUserCard::getCheater));

    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitForEvent("pl"));
    test::settleAll();
    EXPECT_EQ(sentEvents("pl"), (std::vector<nlohmann::json>{{{"code", "pl"},
                                                              {"timestamp", kStart},
                                                              {"sessionId", kStart},
                                                              {"level", 1},
                                                              {"parameters",
                                                               {{"name", "Ann"},
                                                                {"email", "ann@example.com"},
                                                                {"phone", "+100200300"},
                                                                {"photo", "https://example.com/ann.png"},
                                                                {"gender", 2},
                                                                {"age", 30},
                                                                {"cheater", true}}}}}));
}

TEST_F(UserCardEndToEnd, AnyKeyTakesEachKindIncrementsAndUnsetsWhileReservedKeysKeepTheirKind) {
    replyWithConfiguration();
    start();
    ZQBUserCard::set("nick", "Bob");  // a string literal is a text, not a flag
    ZQBUserCard::set("vip", true);
    ZQBUserCard::set("score", 7);
    ZQBUserCard::set("ratio", 0.5);
    ZQBUserCard::increment("wins", 1);
    ZQBUserCard::increment("wins", 2);
    ZQBUserCard::increment("ratio", 0.25);
    ZQBUserCard::set("AGE", 31);
    ZQBUserCard::set("Gender", 1);
    EXPECT_EQ(valueOf("nick"), Value(std::string("Bob")));
    EXPECT_EQ(valueOf("vip"), Value(true));
    EXPECT_EQ(valueOf("score"), Value(int64_t{7}));
    EXPECT_EQ(valueOf("wins"), Value(int64_t{3}));
    EXPECT_EQ(valueOf("ratio"), Value(0.75));
    EXPECT_EQ(valueOf("missing"), std::nullopt);
    EXPECT_EQ(answerOf<int64_t>(ZQBUserCard::getAge), 31);
    EXPECT_EQ(answerOf<ZQBGender>(ZQBUserCard::getGender), ZQBGender::unknown);
    EXPECT_EQ(log.matching("reserved key"),
              Texts{"ERROR Invalid value! The [1] value of the reserved key [gender] must be ZQBGender"});

    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitForEvent("pl"));
    ZQBUserCard::unset({"nick", "VIP"});
    ZQBUserCard::unset("score");
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitForEvent("pl", 2));
    EXPECT_EQ(sentParameters(),
              (std::vector<nlohmann::json>{
                  {{"nick", "Bob"}, {"vip", true}, {"score", 7}, {"ratio", 0.75}, {"wins", 3}, {"age", 31}},
                  {{"nick", nullptr}, {"VIP", nullptr}, {"score", nullptr}}}));
    EXPECT_EQ(valueOf("nick"), std::nullopt);
    EXPECT_EQ(valueOf("vip"), Value(true));  // "VIP" is another key
}

TEST_F(UserCardEndToEnd, AGenderThatIsNoneOfItsCasesIsRefusedAndTheStoredOneStays) {
    replyWithConfiguration();
    start();
    ZQBUserCard::setGender(ZQBGender::male);
    ZQBUserCard::setGender(static_cast<ZQBGender>(9));
    EXPECT_EQ(answerOf<ZQBGender>(ZQBUserCard::getGender), ZQBGender::male);
    EXPECT_EQ(
        log.matching("setGender"),
        (Texts{test::error("setGender(gender:)",
                           "The value argument [9] \n\tParameter must be a case of ZQBGender (0 Unknown, 1 "
                           "Male, 2 Female)."),
               test::canceled("setGender(gender:)")}));

    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitForEvent("pl"));
    EXPECT_EQ(sentParameters(), (std::vector<nlohmann::json>{{{"gender", 1}}}));
}

TEST_F(UserCardEndToEnd, ClearingTheCardIsReportedAtOnceAsNullParametersAndKeepsTheCheaterMark) {
    replyWithConfiguration();
    start();
    ZQBUserCard::setName("Ann");
    ZQBUserCard::setCheater(true);
    ZQBUserCard::clearUser();
    ASSERT_TRUE(waitForEvent("pl", 2));
    EXPECT_EQ(
        sentEventTexts("pl")[1],
        R"({"code":"pl","timestamp":1700000000000,"sessionId":1700000000000,"level":1,"parameters":null})");
    EXPECT_EQ(answerOf<std::string>(ZQBUserCard::getName), "");
    EXPECT_TRUE(answerOf<bool>(ZQBUserCard::getCheater));

    ZQBUserCard::set("after", "clear");
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitForEvent("pl", 3));
    EXPECT_EQ(sentParameters()[2], (nlohmann::json{{"after", "clear"}}));
}

TEST_F(UserCardEndToEnd, CallsBeforeInitialiseAreRefusedByNameAndGettersAnswerTheirDefaults) {
    ZQBUserCard::setName("Ann");
    ZQBUserCard::set("level", 3);
    ZQBUserCard::increment("level", 1.5);
    ZQBUserCard::unset("level");
    ZQBUserCard::clearUser();
    EXPECT_EQ(answerOf<std::string>(ZQBUserCard::getEmail), "");
    EXPECT_EQ(answerOf<ZQBGender>(ZQBUserCard::getGender), ZQBGender::unknown);
    EXPECT_EQ(answerOf<int64_t>(ZQBUserCard::getAge), 0);
    EXPECT_FALSE(answerOf<bool>(ZQBUserCard::getCheater));
    EXPECT_EQ(valueOf("level"), std::nullopt);

    Texts expected;
    for (const char* method :
         {"setName(name:)", "set(key:value:)", "increment(key:value:)", "unset(property:)", "clearUser()",
          "getEmail(completionHandler:)", "getGender(completionHandler:)", "getAge(completionHandler:)",
          "getCheater(completionHandler:)", "getValue(key:_:)"}) {
        expected.push_back(test::notInitialized(method));
    }
    EXPECT_EQ(log.matching("not initialized"), expected);
}

TEST_F(UserCardEndToEnd, KeysTheConfigurationExcludesAreNotChangedButCanBeRead) {
    replyWithConfiguration(
        {{"exclude", {{"version", 1}, {"events", {{"pl", nlohmann::json::array({"vip"})}}}}}});
    start();
    ZQBUserCard::set("vip", true);
    ZQBUserCard::increment("vip", 1);
    ZQBUserCard::set("free", 1);
    ZQBUserCard::unset({"vip", "gone"});
    EXPECT_EQ(valueOf("vip"), std::nullopt);
    EXPECT_EQ(log.count("Event [pl] with [vip] argument is excluded by project configuration"), 3u);

    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitForEvent("pl"));
    EXPECT_EQ(sentParameters(), (std::vector<nlohmann::json>{{{"free", 1}, {"gone", nullptr}}}));
}

TEST_F(UserCardEndToEnd, AChangeNotYetReportedSurvivesARelaunchWhateverItsKey) {
    replyWithConfiguration();
    ZQBAnalyticsConfiguration alice;
    alice.setUserId(std::string("alice"));
    start(alice);
    // Changed while nothing is reported, then the process ends.
    ZQBAnalytics::setTrackingAvailability(false);
    ZQBUserCard::set("a,b", 1);
    ZQBUserCard::set("[c]", 2);
    Core::destroy();
    test::settleAll();

    ZQBAnalyticsConfiguration bob;
    bob.setUserId(std::string("bob"));
    bob.setTrackingAvailability(ZQBTrackingStatus::enable);
    ZQBAnalytics::initialize(kApplicationKey, bob);
    ASSERT_TRUE(waitForEvent("ss", 2));
    // Alice's changes are reported when she is active again.
    ZQBAnalytics::setUserId("alice");
    ZQBAnalytics::sendBufferedEvents();
    ASSERT_TRUE(waitForEvent("pl"));
    EXPECT_EQ(sentParameters(), (std::vector<nlohmann::json>{{{"a,b", 1}, {"[c]", 2}}}));
}

}  // namespace
}  // namespace zqb
