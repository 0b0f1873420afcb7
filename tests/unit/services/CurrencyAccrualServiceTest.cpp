#include "database/Connection.hpp"
#include "database/SQLiteProvider.hpp"
#include "repositories/CurrencyAccrualResourcesRepository.hpp"
#include "services/CurrencyAccrualService.hpp"
#include "support/FakeStateManager.hpp"
#include "support/LogCapture.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SharedDatabase.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace zqb {
namespace {

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();

class CurrencyAccrualServiceTest : public ::testing::Test {
protected:
    CurrencyAccrualResource accrual(const std::string& name, int64_t amount, const std::string& source,
                                    ZQBAccrualType type = ZQBAccrualType::earned) {
        return CurrencyAccrualResource(env.clock().milliseconds(), name, amount, source, type);
    }
    // The rows a later start reads back.
    std::vector<CurrencyAccrualResource> storedRows() {
        return CurrencyAccrualResourcesRepository(zqb::test::sharedDatabase()).list();
    }
    std::shared_ptr<User> otherUser() {
        auto user = std::make_shared<User>(1, std::string("user-2"), false);
        user->idKey = 2;
        return user;
    }

    test::ScopedEnvironment env;
    test::LogCapture log;
    std::shared_ptr<SQLiteProvider> database = zqb::test::sharedDatabase();
    std::shared_ptr<CurrencyAccrualResourcesRepository> repository =
        std::make_shared<CurrencyAccrualResourcesRepository>(database);
    std::shared_ptr<test::FakeStateManager> state = std::make_shared<test::FakeStateManager>();
    CurrencyAccrualService service{state, repository};
};

TEST_F(CurrencyAccrualServiceTest, AccrualsOfOneKeyMergeIntoOneStoredRow) {
    service.addCurrencyAccrual(accrual("gold", 5, "shop"));
    env.clock().advance(1000);
    service.addCurrencyAccrual(accrual("gold", 7, "shop"));

    const auto rows = storedRows();
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0].amount, 12);
    EXPECT_EQ(rows[0].userId, 1);
    EXPECT_EQ(rows[0].name, "gold");
    EXPECT_EQ(rows[0].source, "shop");
    EXPECT_EQ(log.count("DEBUG Insert CA resources: \n"), 1U);
    EXPECT_EQ(log.count("DEBUG Update CA resources: \n"), 1U);
    EXPECT_TRUE(
        log.contains("\t userId: 1, \n\t type: earned, \n\t name: gold, \n\t amount: 12 \n\t source: shop "));
    // The merged row carries the time of the last accrual.
    EXPECT_EQ(service.getLastCreatedTime(*state->user), test::ManualClock::kDefaultStartMs + 1000);
    EXPECT_TRUE(service.isContainsCurrencyAccrual());
}

TEST_F(CurrencyAccrualServiceTest, SumsAreGroupedBySourceThenCurrencyAndKeptApartByType) {
    service.addCurrencyAccrual(accrual("gold", 5, "shop"));
    service.addCurrencyAccrual(accrual("gold", 3, "quest"));
    service.addCurrencyAccrual(accrual("gems", 1, "shop"));
    service.addCurrencyAccrual(accrual("gold", 2, "shop", ZQBAccrualType::bought));
    service.addCurrencyAccrual(accrual("gold", 4, "shop"));

    EXPECT_EQ(storedRows().size(), 4U);
    EXPECT_EQ(service.getEarnedResources(nullptr),
              (CurrencyAccrualSums{{"shop", {{"gold", 9}, {"gems", 1}}}, {"quest", {{"gold", 3}}}}));
    EXPECT_EQ(service.getBoughtResources(nullptr), (CurrencyAccrualSums{{"shop", {{"gold", 2}}}}));
    // Another user's view holds none of it.
    EXPECT_EQ(service.getEarnedResources(otherUser()), std::nullopt);
    EXPECT_EQ(service.getLastCreatedTime(*otherUser()), std::nullopt);
}

TEST_F(CurrencyAccrualServiceTest, SumsSaturateAtTheThirtyTwoBitBoundsWithOneErrorLine) {
    service.addCurrencyAccrual(accrual("gold", kInt32Max - 647, "shop"));
    service.addCurrencyAccrual(accrual("gold", 1000, "shop"));
    EXPECT_EQ(storedRows()[0].amount, kInt32Max);
    EXPECT_EQ(log.count("ERROR CA resource: gold is overflowed"), 1U);

    // Still clamped when the 64-bit sum itself overflows, and at the lower end.
    service.addCurrencyAccrual(accrual("big", std::numeric_limits<int64_t>::max(), "shop"));
    service.addCurrencyAccrual(accrual("big", 1, "shop"));
    service.addCurrencyAccrual(accrual("debt", kInt32Min + 10, "shop"));
    service.addCurrencyAccrual(accrual("debt", -11, "shop"));
    service.addCurrencyAccrual(accrual("debt", 5, "shop"));  // back within range: no line
    EXPECT_EQ(
        service.getEarnedResources(nullptr),
        (CurrencyAccrualSums{{"shop", {{"gold", kInt32Max}, {"big", kInt32Max}, {"debt", kInt32Min + 5}}}}));
    EXPECT_EQ(log.count("ERROR CA resource: big is overflowed"), 1U);
    EXPECT_EQ(log.count("ERROR CA resource: debt is overflowed"), 1U);
}

TEST_F(CurrencyAccrualServiceTest, NothingIsGatheredWhileTrackingIsOff) {
    state->project->trackingAvailable = false;
    service.addCurrencyAccrual(accrual("gold", 5, "shop"));
    EXPECT_TRUE(storedRows().empty());
    EXPECT_FALSE(service.isContainsCurrencyAccrual());
    EXPECT_EQ(service.getEarnedResources(nullptr), std::nullopt);
    EXPECT_FALSE(log.contains("resource"));
}

TEST_F(CurrencyAccrualServiceTest, RemovalsTouchOnlyTheRowsTheyName) {
    service.addCurrencyAccrual(accrual("gold", 5, "shop"));
    const auto first = state->user;
    state->activateUser("user-2");
    service.addCurrencyAccrual(accrual("gold", 7, "shop"));
    state->activateUser("user-3");
    service.addCurrencyAccrual(accrual("gems", 1, "shop"));

    EXPECT_EQ(service.getEarnedResources(first), (CurrencyAccrualSums{{"shop", {{"gold", 5}}}}));
    EXPECT_TRUE(service.removeResources(*first));
    EXPECT_EQ(service.getEarnedResources(first), std::nullopt);
    EXPECT_EQ(storedRows().size(), 2U);

    // Rows the file keeps are still summed, for a later event to report.
    const auto file = (*zqb::test::databaseFolder() / SQLiteProvider::fileName).string();
    Connection(file).execute(
        "CREATE TRIGGER refuse BEFORE DELETE ON currencyAccrualResources "
        "BEGIN SELECT RAISE(ABORT, 'no'); END");
    EXPECT_FALSE(service.removeResourcesForActiveUser());  // user-3
    EXPECT_EQ(service.getEarnedResources(nullptr), (CurrencyAccrualSums{{"shop", {{"gems", 1}}}}));
    EXPECT_EQ(storedRows().size(), 2U);
    Connection(file).execute("DROP TRIGGER refuse");

    EXPECT_TRUE(service.removeResourcesForActiveUser());
    EXPECT_FALSE(service.isContainsCurrencyAccrual());
    ASSERT_EQ(storedRows().size(), 1U);
    EXPECT_EQ(storedRows()[0].amount, 7);

    service.removeInactiveUserData({});
    EXPECT_EQ(storedRows().size(), 1U);
    service.removeInactiveUserData(state->otherUsers);
    EXPECT_TRUE(storedRows().empty());

    service.addCurrencyAccrual(accrual("gold", 1, "shop"));
    service.removeAllResources();
    EXPECT_TRUE(storedRows().empty());
    EXPECT_TRUE(repository->cache().empty());
}

}  // namespace
}  // namespace zqb
