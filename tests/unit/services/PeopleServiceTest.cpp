#include "database/SQLiteProvider.hpp"
#include "repositories/PeopleRepository.hpp"
#include "services/PeopleService.hpp"
#include "support/FakeStateManager.hpp"
#include "support/LogCapture.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SharedDatabase.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <optional>

namespace zqb {
namespace {

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();
constexpr double kGreatest = std::numeric_limits<double>::max();

class PeopleServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        service.setOnClearedCard([this] { ++cleared; });
        service.setDidChangeCheaterMark([this] { ++cheaterChanges; });
    }

    // The active user's card as a later start reads it.
    std::shared_ptr<PeopleCard> storedCard() {
        for (const auto& card : PeopleRepository(zqb::test::sharedDatabase()).list()) {
            if (card->userId == state->user->idKey) {
                return card;
            }
        }
        return nullptr;
    }
    // The card the service works on (the stored text of an empty key list reads back as one empty key).
    std::shared_ptr<PeopleCard> liveCard() { return repository->list().at(0); }
    std::optional<PeopleValueType> value(const std::string& key) {
        std::optional<PeopleValueType> result;
        bool called = false;
        service.getValue(key, [&](std::optional<PeopleValueType> found) {
            called = true;
            result = std::move(found);
        });
        EXPECT_TRUE(called);
        return result;
    }
    std::vector<std::string> userCardLines() { return log.matching("[User Card]"); }

    test::ScopedEnvironment env;
    test::LogCapture log;
    std::shared_ptr<SQLiteProvider> database = zqb::test::sharedDatabase();
    std::shared_ptr<PeopleRepository> repository = std::make_shared<PeopleRepository>(database);
    std::shared_ptr<test::FakeStateManager> state = std::make_shared<test::FakeStateManager>();
    PeopleService service{state, repository};
    int cleared = 0;
    int cheaterChanges = 0;
};

TEST_F(PeopleServiceTest, SetStoresChangedValuesOnlyAndTellsOfCheaterChanges) {
    service.setValue("age", PeopleValueType(int64_t{30}));
    service.setValue("name", PeopleValueType("Ann"));
    service.setValue("age", PeopleValueType(int64_t{30}));  // equal: nothing at all
    EXPECT_EQ(userCardLines(), (std::vector<std::string>{
                                   "INFO [User Card] Value [30] for the key [age] was set successfully",
                                   "INFO [User Card] Value [Ann] for the key [name] was set successfully"}));
    service.setValue("age", PeopleValueType(30.0));  // another kind of value is a change
    EXPECT_TRUE(value("age")->isDouble());

    auto card = storedCard();
    ASSERT_TRUE(card);
    EXPECT_EQ(card->json, R"({"age":30.0,"name":"Ann"})");
    EXPECT_EQ(card->changedKeys, (std::vector<std::string>{"age", "name"}));
    EXPECT_TRUE(card->updated);
    EXPECT_FALSE(card->cleared);

    service.setValue("cheater", PeopleValueType(true));
    service.setValue("cheater", PeopleValueType(true));
    service.setValue("Cheater", PeopleValueType(true));
    service.increment("cheater", PeopleValueType(int64_t{1}));
    service.unset({"cheater"});
    service.setValue("cheater", PeopleValueType(false));
    EXPECT_EQ(cheaterChanges, 2);
}

TEST_F(PeopleServiceTest, IncrementAddsSaturatesAndRefusesOtherKinds) {
    service.increment("coins", PeopleValueType(int64_t{5}));  // missing: taken as it is
    service.increment("coins", PeopleValueType(2.5));
    service.increment("ratio", PeopleValueType(2.5));
    service.increment("ratio", PeopleValueType(int64_t{1}));
    service.setValue("max", PeopleValueType(kInt64Max));
    service.increment("max", PeopleValueType(int64_t{1}));
    service.setValue("min", PeopleValueType(kInt64Min));
    service.increment("min", PeopleValueType(int64_t{-1}));
    service.setValue("huge", PeopleValueType(kGreatest));
    service.increment("huge", PeopleValueType(kGreatest));
    service.setValue("tiny", PeopleValueType(-kGreatest));
    service.increment("tiny", PeopleValueType(int64_t{-1}));  // rounds back to -greatest: still "at most"

    EXPECT_TRUE(value("coins")->isDouble());
    EXPECT_EQ(value("coins")->doubleValue(), 7.5);
    EXPECT_EQ(value("ratio")->doubleValue(), 3.5);
    EXPECT_EQ(value("max")->intValue(), kInt64Max);
    EXPECT_EQ(value("min")->intValue(), kInt64Min);
    EXPECT_EQ(value("huge")->doubleValue(), kGreatest);
    EXPECT_EQ(value("tiny")->doubleValue(), -kGreatest);
    EXPECT_EQ(log.count("INFO [User Card] Value [5] for the key [coins] was set successfully"), 1U);
    EXPECT_EQ(log.count("INFO [User Card] New value [7.5] for the key [coins] was successfully incremented"),
              1U);
    EXPECT_EQ(log.count("INFO [User Card] New value [3.5] for the key [ratio] was successfully incremented"),
              1U);
    for (const char* key : {"max", "min", "huge", "tiny"}) {
        EXPECT_EQ(
            log.count(std::string("ERROR [User Card] The incremented value [") + key + "] caused overflow"),
            1U)
            << key;
    }

    // A value of another kind stays, yet the card is written and marked updated.
    service.setValue("name", PeopleValueType("Ann"));
    service.unmarkUpdated();
    service.getParameters(false);
    log.clear();
    service.increment("name", PeopleValueType(int64_t{1}));
    EXPECT_EQ(userCardLines(),
              (std::vector<std::string>{
                  "ERROR [User Card] In the increment method an error has occurred: \n\tValue [Ann] "
                  "type does not match the increment value [1]"}));
    EXPECT_EQ(value("name")->toString(), "Ann");
    const auto card = storedCard();
    EXPECT_TRUE(card->updated);
    EXPECT_TRUE(liveCard()->changedKeys.empty());
}

TEST_F(PeopleServiceTest, UnsetValuesAreReportedAsNullThenDropped) {
    service.setValue("a", PeopleValueType(int64_t{1}));
    service.unset({"a", "never"});
    EXPECT_EQ(log.count("INFO [User Card] Properties for key [a,never] were successfully unset"), 1U);
    EXPECT_EQ(value("a"), std::nullopt);
    EXPECT_EQ(value("never"), std::nullopt);
    EXPECT_EQ(storedCard()->json, R"({"a":null,"never":null})");

    const auto parameters = service.getParameters(false);
    ASSERT_EQ(parameters.size(), 2U);
    EXPECT_TRUE(parameters.at("never").isNull());
    service.removeNulls();
    EXPECT_EQ(storedCard()->json, "{}");

    service.unset({});
    EXPECT_EQ(log.count("INFO [User Card] Properties for key [] were successfully unset"), 1U);
}

TEST_F(PeopleServiceTest, ClearKeepsOnlyTheCheaterMarkAndTellsTheLogic) {
    service.setValue("a", PeopleValueType(int64_t{1}));
    service.clearUser();
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(storedCard()->json, "{}");
    EXPECT_TRUE(service.isNeedToClear());
    EXPECT_EQ(log.count("INFO [User Card] All user data was successfully cleared"), 1U);

    service.setValue("cheater", PeopleValueType(true));
    service.setValue("b", PeopleValueType("x"));
    service.clearUser();
    const auto card = storedCard();
    EXPECT_EQ(card->json, R"({"cheater":true})");
    EXPECT_TRUE(card->cleared);
    EXPECT_TRUE(card->updated);
    // The changed keys stay for the event after the clearing.
    EXPECT_EQ(card->changedKeys, (std::vector<std::string>{"a", "cheater", "b"}));

    service.unmarkCleared();
    service.unmarkUpdated();
    EXPECT_FALSE(service.isNeedToClear());
    EXPECT_FALSE(service.isNeedToSend());
    EXPECT_FALSE(storedCard()->cleared);
    EXPECT_FALSE(storedCard()->updated);
}

TEST_F(PeopleServiceTest, ParametersAreTheChangesSinceTheLastEventOrTheWholeCard) {
    EXPECT_EQ(value("anything"), std::nullopt);  // reading creates the card
    ASSERT_TRUE(storedCard());
    EXPECT_EQ(storedCard()->json, "");
    EXPECT_FALSE(service.isNeedToSend());

    service.setValue("a", PeopleValueType(int64_t{1}));
    service.setValue("b", PeopleValueType(int64_t{2}));
    EXPECT_TRUE(service.isNeedToSend());
    EXPECT_EQ(service.getParameters(false).size(), 2U);
    EXPECT_TRUE(liveCard()->changedKeys.empty());

    service.setValue("b", PeopleValueType(int64_t{3}));
    auto changed = service.getParameters(false);
    ASSERT_EQ(changed.size(), 1U);
    EXPECT_EQ(changed.at("b").intValue(), 3);
    EXPECT_EQ(service.getParameters(true).size(), 2U);
    EXPECT_TRUE(service.getParameters(false).empty());

    // A key written in another spelling of the same text is still reported.
    service.setValue("caf\u00e9", PeopleValueType(int64_t{1}));
    service.getParameters(false);
    service.setValue("cafe\u0301", PeopleValueType(int64_t{2}));
    changed = service.getParameters(false);
    ASSERT_EQ(changed.size(), 1U);
    EXPECT_EQ(changed.begin()->second.intValue(), 2);

    // Changed keys that name removed entries give nothing.
    service.unset({"a"});
    service.removeNulls();
    EXPECT_TRUE(service.getParameters(false).empty());
}

TEST_F(PeopleServiceTest, EachUserHasItsOwnCardAndRemovedUsersLoseTheirs) {
    service.setValue("a", PeopleValueType(int64_t{1}));
    const auto first = state->user;
    state->activateUser("user-2");
    EXPECT_EQ(value("a"), std::nullopt);
    service.setValue("a", PeopleValueType(int64_t{2}));
    EXPECT_EQ(value("a")->intValue(), 2);

    service.removeInactiveUserData({first});
    const auto cards = PeopleRepository(zqb::test::sharedDatabase()).list();
    ASSERT_EQ(cards.size(), 1U);
    EXPECT_EQ(cards[0]->userId, state->user->idKey);
}

}  // namespace
}  // namespace zqb
