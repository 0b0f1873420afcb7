#include "model/ZQBAnalyticsConfigurationLocal.hpp"

#include <ZQBAnalytics/ZQBAnalyticsConfiguration.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zqb {
namespace {

TEST(CoreConfiguration, ANewConfigurationGivesNothingAndDescribesItselfInTwoLines) {
    const ZQBAnalyticsConfiguration configuration;
    const auto local = ZQBAnalyticsConfigurationLocal::from(configuration);
    EXPECT_EQ(local.logLevel, ZQBLogLevel::unknown);
    EXPECT_FALSE(local.userId);
    EXPECT_FALSE(local.level);
    EXPECT_EQ(local.trackingAvailability, ZQBTrackingStatus::unknown);
    EXPECT_EQ(configuration.description(), "logLevel: UNKNOWN\ntrackingAvailability: UNKNOWN");
    EXPECT_EQ(local.description(), configuration.description());
}

TEST(CoreConfiguration, DescriptionListsOnlyTheGivenValuesInOrder) {
    ZQBAnalyticsConfiguration configuration;
    configuration.setTrackingAvailability(ZQBTrackingStatus::disable);
    EXPECT_EQ(configuration.description(), "logLevel: UNKNOWN\ntrackingAvailability: DISABLE");

    configuration.setLogLevel(ZQBLogLevel::debug);
    configuration.setUserId("player-7");
    configuration.setCurrentLevel(ZQBAnalyticsConfiguration::Number{5.7});
    configuration.setTrackingAvailability(ZQBTrackingStatus::enable);
    EXPECT_EQ(configuration.description(),
              "logLevel: DEBUG\nuserId: player-7\ncurrentLevel: 5.7\ntrackingAvailability: ENABLE");
    // The copy carries the level as a whole number and writes it so.
    EXPECT_EQ(ZQBAnalyticsConfigurationLocal::from(configuration).description(),
              "logLevel: DEBUG\nuserId: player-7\ncurrentLevel: 5\ntrackingAvailability: ENABLE");

    configuration.setCurrentLevel(ZQBAnalyticsConfiguration::Number{int64_t{12}});
    configuration.setUserId(std::string());
    EXPECT_EQ(configuration.description(),
              "logLevel: DEBUG\nuserId: \ncurrentLevel: 12\ntrackingAvailability: ENABLE");
}

TEST(CoreConfiguration, TheCopyIsTakenAtOnceAndCutsFractionsTowardZero) {
    ZQBAnalyticsConfiguration configuration;
    configuration.setLogLevel(ZQBLogLevel::warning);
    configuration.setUserId("a");
    configuration.setCurrentLevel(ZQBAnalyticsConfiguration::Number{5.7});
    const auto local = ZQBAnalyticsConfigurationLocal::from(configuration);

    configuration.setUserId("b");
    configuration.setCurrentLevel(ZQBAnalyticsConfiguration::Number{int64_t{9}});
    EXPECT_EQ(local.userId, "a");
    EXPECT_EQ(local.level, 5);
    EXPECT_EQ(local.logLevel, ZQBLogLevel::warning);

    configuration.setCurrentLevel(ZQBAnalyticsConfiguration::Number{-5.7});
    EXPECT_EQ(ZQBAnalyticsConfigurationLocal::from(configuration).level, -5);
}

TEST(CoreConfiguration, LevelsThatAreNoWholeNumberNeverCrashTheCopy) {
    ZQBAnalyticsConfiguration configuration;
    configuration.setCurrentLevel(ZQBAnalyticsConfiguration::Number{std::nan("")});
    EXPECT_FALSE(ZQBAnalyticsConfigurationLocal::from(configuration).level);
    configuration.setCurrentLevel(ZQBAnalyticsConfiguration::Number{1e300});
    EXPECT_EQ(ZQBAnalyticsConfigurationLocal::from(configuration).level, std::numeric_limits<int64_t>::max());
    configuration.setCurrentLevel(
        ZQBAnalyticsConfiguration::Number{-std::numeric_limits<double>::infinity()});
    EXPECT_EQ(ZQBAnalyticsConfigurationLocal::from(configuration).level, std::numeric_limits<int64_t>::min());
    configuration.setCurrentLevel(ZQBAnalyticsConfiguration::Number{9223372036854775807.0});
    EXPECT_EQ(ZQBAnalyticsConfigurationLocal::from(configuration).level, std::numeric_limits<int64_t>::max());
}

TEST(CoreConfiguration, AUserIdThatIsNotUtf8IsRepaired) {
    ZQBAnalyticsConfiguration configuration;
    configuration.setUserId(std::string("ab\xff", 3));
    EXPECT_EQ(configuration.userId(), "ab\xEF\xBF\xBD");
}

}  // namespace
}  // namespace zqb
