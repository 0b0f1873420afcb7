#include "services/UserService.hpp"
#include "support/LogCapture.hpp"
#include "support/ServiceTestBed.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace zqb {
namespace {

class UserServiceTest : public ::testing::Test {
protected:
    std::vector<std::shared_ptr<User>> storedUsers() { return UserRepository(bed.observer()).list(); }
    std::shared_ptr<User> stored(const User& user) {
        for (const auto& candidate : storedUsers()) {
            if (candidate->idKey == user.idKey) {
                return candidate;
            }
        }
        return nullptr;
    }
    std::vector<TutorialMark> storedMarks() { return TutorialRepository(bed.observer()).list(); }

    test::ServiceTestBed bed;
    UserService service{bed.state, bed.userRepository, bed.tutorialRepository};
};

TEST_F(UserServiceTest, ResourceAggregationIsStoredAndLogged) {
    test::LogCapture logs;
    service.resourceAggregation(false);
    EXPECT_FALSE(bed.user()->isResourceAggregationEnable);
    EXPECT_FALSE(stored(*bed.user())->isResourceAggregationEnable);
    service.resourceAggregation(true);
    EXPECT_TRUE(stored(*bed.user())->isResourceAggregationEnable);
    EXPECT_EQ(logs.texts(), (std::vector<std::string>{"DEBUG Resource aggregation is Disable",
                                                      "DEBUG Resource aggregation is Enable"}));
}

TEST_F(UserServiceTest, LevelIsStoredWithTheUser) {
    EXPECT_EQ(service.getUserLevel(), 1);
    service.setUserLevel(7);
    EXPECT_EQ(service.getUserLevel(), 7);
    EXPECT_EQ(stored(*bed.user())->level, 7);
}

TEST_F(UserServiceTest, LocationIsHeldUntilClearedAndTheClearIsLoggedOnRequest) {
    test::LogCapture logs;
    service.clearLocation(true);  // nothing held: nothing to log
    EXPECT_TRUE(logs.texts().empty());

    service.activateLocation(Location{"Cave", std::string("map"), 3, 1000});
    ASSERT_TRUE(service.getLocation().has_value());
    EXPECT_EQ(service.getLocation()->name, "Cave");
    service.activateLocation(Location{"Forest", std::nullopt, std::nullopt, 2000});
    EXPECT_EQ(service.getLocation()->name, "Forest");

    service.clearLocation(true);
    EXPECT_EQ(service.getLocation(), std::nullopt);
    EXPECT_EQ(logs.texts(), std::vector<std::string>{"DEBUG The location: Forest has been canceled"});

    logs.clear();
    service.activateLocation(Location{"Lake", std::nullopt, std::nullopt, 3000});
    service.clearLocation(false);
    EXPECT_EQ(service.getLocation(), std::nullopt);
    EXPECT_TRUE(logs.texts().empty());
}

TEST_F(UserServiceTest, TutorialStepIsMarkedOncePerUser) {
    EXPECT_FALSE(service.isTutorialStepMarked(3));
    service.markTutorialStep(3);
    service.markTutorialStep(3);
    EXPECT_TRUE(service.isTutorialStepMarked(3));
    EXPECT_FALSE(service.isTutorialStepMarked(4));
    ASSERT_EQ(storedMarks().size(), 1u);
    EXPECT_EQ(storedMarks()[0].userId, bed.user()->idKey);
    EXPECT_EQ(storedMarks()[0].step, 3);

    const auto first = bed.user();
    bed.setActiveUser(bed.addUser("other"));
    EXPECT_FALSE(service.isTutorialStepMarked(3));
    service.markTutorialStep(3);
    EXPECT_EQ(storedMarks().size(), 2u);
    bed.setActiveUser(first);
    EXPECT_TRUE(service.isTutorialStepMarked(3));
}

TEST_F(UserServiceTest, BackendIdsNeedTheIdAndItsTimestamp) {
    EXPECT_FALSE(service.hasBackendIds());
    bed.state->updateDeviceIdentifiers(42, std::nullopt, std::nullopt);
    EXPECT_FALSE(service.hasBackendIds());
    bed.state->updateDeviceIdentifiers(std::nullopt, 7, 1700000000000);
    EXPECT_FALSE(service.hasBackendIds());
    bed.state->updateDeviceIdentifiers(42, std::nullopt, 1700000000000);
    EXPECT_TRUE(service.hasBackendIds());
}

TEST_F(UserServiceTest, IdentityOperationsGoThroughTheStateManager) {
    EXPECT_EQ(service.getActiveUserId(), "user-1");
    EXPECT_FALSE(service.isDefaultUser());
    bed.user()->isDefaultUser = true;
    EXPECT_TRUE(service.isDefaultUser());

    service.activateUser("alice");
    EXPECT_EQ(service.getActiveUserId(), "alice");
    ASSERT_EQ(service.getInactiveUsers().size(), 1u);
    EXPECT_EQ(service.getInactiveUsers()[0]->userId, "user-1");
    EXPECT_EQ(service.getAllUsers().size(), 2u);

    service.replaceUserId(bed.user(), "alicia");
    EXPECT_EQ(service.getActiveUserId(), "alicia");
    EXPECT_EQ(bed.user()->previousUserId, "alice");
}

TEST_F(UserServiceTest, RemovingInactiveUsersDeletesOnlyTheirRows) {
    const auto active = bed.user();
    const auto gone = bed.addUser("gone");
    const auto alsoGone = bed.addUser("also gone");
    ASSERT_EQ(storedUsers().size(), 3u);

    service.removeInactiveUserData({});
    EXPECT_EQ(storedUsers().size(), 3u);

    service.removeInactiveUserData({gone, alsoGone});
    const auto remaining = storedUsers();
    ASSERT_EQ(remaining.size(), 1u);
    EXPECT_EQ(remaining[0]->idKey, active->idKey);
    EXPECT_EQ(bed.userRepository->list().size(), 1u);
}

TEST_F(UserServiceTest, BalanceMarkLivesInMemoryWithTheActiveUser) {
    EXPECT_FALSE(service.isBalanceSentForActiveUser());
    service.changeCurBalanceSentMark(true);
    EXPECT_TRUE(service.isBalanceSentForActiveUser());
    EXPECT_FALSE(stored(*bed.user())->balanceIsSent);

    const auto first = bed.user();
    bed.setActiveUser(bed.addUser("other"));
    EXPECT_FALSE(service.isBalanceSentForActiveUser());
    bed.setActiveUser(first);
    EXPECT_TRUE(service.isBalanceSentForActiveUser());
}

}  // namespace
}  // namespace zqb
