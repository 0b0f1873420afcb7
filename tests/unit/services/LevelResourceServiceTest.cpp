#include "database/Connection.hpp"
#include "database/SQLiteProvider.hpp"
#include "repositories/LevelResourcesRepository.hpp"
#include "services/LevelResourceService.hpp"
#include "support/FakeStateManager.hpp"
#include "support/LogCapture.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/SharedDatabase.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace zqb {
namespace {

constexpr int64_t kMaxInt32 = std::numeric_limits<int32_t>::max();
constexpr int64_t kMinInt32 = std::numeric_limits<int32_t>::min();

class LevelResourceServiceTest : public ::testing::Test {
protected:
    static LevelResource resource(const std::string& name, int64_t amount, LevelResourceType type) {
        LevelResource value;
        value.name = name;
        value.amount = amount;
        value.type = type;
        return value;
    }
    std::vector<LevelResource> storedRows() {
        return LevelResourcesRepository(zqb::test::sharedDatabase()).list();
    }

    test::ScopedEnvironment env;
    test::LogCapture log;
    std::shared_ptr<SQLiteProvider> database = zqb::test::sharedDatabase();
    std::shared_ptr<LevelResourcesRepository> repository =
        std::make_shared<LevelResourcesRepository>(database);
    std::shared_ptr<test::FakeStateManager> state = std::make_shared<test::FakeStateManager>();
    LevelResourceService service{state, repository};
};

TEST_F(LevelResourceServiceTest, ResourcesMergeByNameAndTypePerUser) {
    service.addLevelResource(resource("gold", 5, LevelResourceType::earned));
    service.addLevelResource(resource("gold", 7, LevelResourceType::earned));
    service.addLevelResource(resource("gold", 3, LevelResourceType::spent));
    service.addLevelResource(resource("gems", 2, LevelResourceType::bought));

    const auto rows = storedRows();
    ASSERT_EQ(rows.size(), 3U);
    EXPECT_EQ(rows[0].amount, 12);
    EXPECT_EQ(rows[0].userId, 1);
    EXPECT_EQ(log.count("DEBUG Insert LU resources: \n"), 3U);
    EXPECT_EQ(log.count("DEBUG Update LU resources: \n"), 1U);
    EXPECT_TRUE(log.contains("\t userId: 1, \n\t type: earned, \n\t name: gold, \n\t amount: 12 "));
    EXPECT_EQ(service.getEarnedResources(), (LevelResourceSums{{"gold", 12}}));
    EXPECT_EQ(service.getSpentResources(), (LevelResourceSums{{"gold", 3}}));
    EXPECT_EQ(service.getBoughtResources(), (LevelResourceSums{{"gems", 2}}));

    // The next user starts from nothing.
    state->activateUser("user-2");
    EXPECT_EQ(service.getEarnedResources(), std::nullopt);
    service.addLevelResource(resource("gold", 1, LevelResourceType::earned));
    EXPECT_EQ(service.getEarnedResources(), (LevelResourceSums{{"gold", 1}}));
    EXPECT_EQ(storedRows().size(), 4U);
}

TEST_F(LevelResourceServiceTest, SumsSaturateAtTheThirtyTwoBitBounds) {
    service.addLevelResource(resource("gold", kMaxInt32 - 647, LevelResourceType::earned));
    service.addLevelResource(resource("gold", 1000, LevelResourceType::earned));
    service.addLevelResource(resource("debt", kMinInt32, LevelResourceType::spent));
    service.addLevelResource(resource("debt", -1, LevelResourceType::spent));
    EXPECT_EQ(service.getEarnedResources(), (LevelResourceSums{{"gold", kMaxInt32}}));
    EXPECT_EQ(service.getSpentResources(), (LevelResourceSums{{"debt", kMinInt32}}));
    EXPECT_EQ(log.count("ERROR LU resource: gold is overflowed"), 1U);
    EXPECT_EQ(log.count("ERROR LU resource: debt is overflowed"), 1U);
    EXPECT_EQ(storedRows()[0].amount, kMaxInt32);
}

TEST_F(LevelResourceServiceTest, NothingIsGatheredWithTrackingOrAggregationOff) {
    state->user->isResourceAggregationEnable = false;
    service.addLevelResource(resource("gold", 5, LevelResourceType::earned));
    state->user->isResourceAggregationEnable = true;
    state->project->trackingAvailable = false;
    service.addLevelResource(resource("gold", 5, LevelResourceType::earned));
    EXPECT_TRUE(storedRows().empty());
    EXPECT_FALSE(log.contains("resource"));
}

TEST_F(LevelResourceServiceTest, RemovalsTouchOnlyTheRowsTheyName) {
    service.addLevelResource(resource("gold", 5, LevelResourceType::earned));
    state->activateUser("user-2");
    service.addLevelResource(resource("gold", 7, LevelResourceType::earned));
    EXPECT_TRUE(service.removeResourcesForActiveUser());
    ASSERT_EQ(storedRows().size(), 1U);
    EXPECT_EQ(storedRows()[0].amount, 5);

    // Rows the file keeps are still summed, for a later level-up to report.
    const auto file = (*zqb::test::databaseFolder() / SQLiteProvider::fileName).string();
    Connection(file).execute(
        "CREATE TRIGGER refuse BEFORE DELETE ON levelResource BEGIN SELECT RAISE(ABORT, 'no'); END");
    service.addLevelResource(resource("gold", 2, LevelResourceType::earned));
    EXPECT_FALSE(service.removeResourcesForActiveUser());
    EXPECT_EQ(service.getEarnedResources(), (LevelResourceSums{{"gold", 2}}));
    EXPECT_EQ(storedRows().size(), 2U);
    Connection(file).execute("DROP TRIGGER refuse");
    EXPECT_TRUE(service.removeResourcesForActiveUser());

    service.addLevelResource(resource("gold", 7, LevelResourceType::earned));
    service.removeInactiveUserData(state->otherUsers);  // the first user
    ASSERT_EQ(storedRows().size(), 1U);
    EXPECT_EQ(storedRows()[0].amount, 7);

    service.removeAllResources();
    EXPECT_TRUE(storedRows().empty());
    EXPECT_EQ(service.getEarnedResources(), std::nullopt);
}

}  // namespace
}  // namespace zqb
