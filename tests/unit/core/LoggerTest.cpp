#include "core/Logger.hpp"

#include <gtest/gtest.h>

TEST(LoggerSmoke, DefaultLevelIsError) {
    EXPECT_EQ(zqb::Logger::logLevel(), ZQBLogLevel::error);
}
