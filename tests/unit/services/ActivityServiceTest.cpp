#include "host/Environment.hpp"
#include "services/ActivityService.hpp"
#include "support/LogCapture.hpp"
#include "support/ServiceTestBed.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace zqb {
namespace {

constexpr int64_t kTimeout = 600000;

class ActivityServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config config;
        config.sessionTimeout = kTimeout;
        bed.setConfig(config);
    }

    int64_t now() { return bed.env.clock().milliseconds(); }
    void advance(int64_t ms) { bed.env.clock().advance(ms); }

    // The user as a later start would read it back from the file.
    std::shared_ptr<User> stored(const User& user) {
        UserRepository fresh(bed.observer());
        for (const auto& candidate : fresh.list()) {
            if (candidate->idKey == user.idKey) {
                return candidate;
            }
        }
        return nullptr;
    }

    test::ServiceTestBed bed;
    ActivityService service{bed.state, bed.userRepository, host::Environment::shared()};
};

TEST_F(ActivityServiceTest, FirstStartOpensASessionAndStoresIt) {
    const int64_t start = now();
    EXPECT_EQ(service.startActivity(), true);
    EXPECT_TRUE(service.isActive());

    const auto user = bed.user();
    EXPECT_EQ(user->sessionId, start);
    EXPECT_EQ(user->lastBackgroundTime, start);
    EXPECT_EQ(user->lastForegroundTime, start);
    EXPECT_EQ(service.getSessionId(), start);
    const auto row = stored(*user);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->sessionId, start);
    EXPECT_EQ(row->lastBackgroundTime, start);
}

TEST_F(ActivityServiceTest, StartWhileActiveAnswersNothingAndChangesNothing) {
    ASSERT_EQ(service.startActivity(), true);
    const int64_t start = now();
    advance(5000);
    test::LogCapture logs;

    EXPECT_EQ(service.startActivity(), std::nullopt);
    EXPECT_EQ(logs.texts(), std::vector<std::string>{"DEBUG Activity has already started"});
    EXPECT_EQ(bed.user()->lastForegroundTime, start);
    EXPECT_EQ(service.stopActivity(), 5);
}

TEST_F(ActivityServiceTest, StopAnswersWholeSecondsAndRecordsTheBackgroundTime) {
    ASSERT_EQ(service.startActivity(), true);
    advance(1999);
    EXPECT_EQ(service.stopActivity(), 1);
    EXPECT_FALSE(service.isActive());
    EXPECT_EQ(bed.user()->lastBackgroundTime, now());
    EXPECT_EQ(stored(*bed.user())->lastBackgroundTime, now());

    ASSERT_EQ(service.startActivity(), false);
    advance(999);
    EXPECT_EQ(service.stopActivity(), 0);
}

TEST_F(ActivityServiceTest, StopWithoutStartAnswersNothingSilently) {
    test::LogCapture logs;
    EXPECT_EQ(service.stopActivity(), std::nullopt);
    EXPECT_TRUE(logs.texts().empty());
    EXPECT_EQ(bed.user()->lastBackgroundTime, std::nullopt);
}

TEST_F(ActivityServiceTest, GapEqualToTheTimeoutContinuesTheSessionOneMoreMillisecondOpensANewOne) {
    ASSERT_EQ(service.startActivity(), true);
    const int64_t firstSession = now();
    advance(3000);
    ASSERT_EQ(service.stopActivity(), 3);

    advance(kTimeout);
    EXPECT_EQ(service.startActivity(), false);
    EXPECT_EQ(bed.user()->sessionId, firstSession);
    EXPECT_EQ(bed.user()->lastForegroundTime, now());
    ASSERT_EQ(service.stopActivity(), 0);

    advance(kTimeout + 1);
    EXPECT_EQ(service.startActivity(), true);
    EXPECT_EQ(bed.user()->sessionId, now());
    EXPECT_EQ(stored(*bed.user())->sessionId, now());
}

// A stored background time from a damaged row, as far back as it goes: the gap saturates instead of
// overflowing, and a new session opens.
TEST_F(ActivityServiceTest, ABackgroundTimeFromTheFarPastOpensANewSession) {
    ASSERT_EQ(service.startActivity(), true);
    ASSERT_EQ(service.stopActivity(), 0);
    bed.user()->lastBackgroundTime = std::numeric_limits<int64_t>::min();
    advance(1000);
    EXPECT_EQ(service.startActivity(), true);
    EXPECT_EQ(bed.user()->sessionId, now());
}

TEST_F(ActivityServiceTest, HeartbeatMovesTheBackgroundTimeOnlyWhileActive) {
    service.updateLastBackgroundTime();
    EXPECT_EQ(bed.user()->lastBackgroundTime, std::nullopt);

    ASSERT_EQ(service.startActivity(), true);
    advance(15000);
    service.updateLastBackgroundTime();
    EXPECT_EQ(bed.user()->lastBackgroundTime, now());
    EXPECT_EQ(stored(*bed.user())->lastBackgroundTime, now());

    // The process ends without a stop: the gap runs from the last heartbeat.
    const int64_t heartbeat = now();
    ActivityService nextRun(bed.state, bed.userRepository, host::Environment::shared());
    bed.env.clock().setMilliseconds(heartbeat + kTimeout);
    EXPECT_EQ(nextRun.startActivity(), false);
}

TEST_F(ActivityServiceTest, ZeroTimeoutContinuesOnlyInTheSameMillisecond) {
    Config config;
    config.sessionTimeout = 0;
    bed.setConfig(config);
    ASSERT_EQ(service.startActivity(), true);
    ASSERT_EQ(service.stopActivity(), 0);
    EXPECT_EQ(service.startActivity(), false);
    ASSERT_EQ(service.stopActivity(), 0);
    advance(1);
    EXPECT_EQ(service.startActivity(), true);
}

TEST_F(ActivityServiceTest, StopConcernsTheUserTheActivityStartedFor) {
    const auto first = bed.user();
    ASSERT_EQ(service.startActivity(), true);
    const int64_t firstStart = now();

    // Another user becomes active without a stop and start; its old times must not be used.
    const auto second = bed.addUser("second");
    second->lastForegroundTime = firstStart - 3600000;
    second->lastBackgroundTime = firstStart - 3000000;
    bed.setActiveUser(second);
    advance(7000);

    EXPECT_EQ(service.stopActivity(), 7);
    EXPECT_FALSE(service.isActive());
    EXPECT_EQ(first->lastBackgroundTime, now());
    EXPECT_EQ(second->lastBackgroundTime, firstStart - 3000000);

    // The next start is the second user's own, measured from its own background time.
    EXPECT_EQ(service.startActivity(), true);
    EXPECT_EQ(second->sessionId, now());
    EXPECT_EQ(first->sessionId, firstStart);
}

TEST_F(ActivityServiceTest, UserWithoutSessionIdDoesNotKeepTheActivityRunning) {
    // A user seen recently but never given a session (as data carried over from elsewhere may be).
    const auto user = bed.user();
    user->lastBackgroundTime = now() - 1000;
    ASSERT_EQ(service.startActivity(), false);
    EXPECT_EQ(service.getSessionId(), std::nullopt);
    advance(2000);

    EXPECT_EQ(service.stopActivity(), 2);
    EXPECT_FALSE(service.isActive());
    EXPECT_EQ(service.startActivity(), false);
}

}  // namespace
}  // namespace zqb
