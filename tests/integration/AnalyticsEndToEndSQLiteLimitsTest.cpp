// The library on an SQLite that lets one statement bind at most 999 values, the maximum of builds before
// 3.32 and of many projects' build flags still: the events of a report of 600, more than half that limit,
// are all delivered and deleted once sent, and nothing is logged as failed.
#include "integration/EndToEndFixture.hpp"

#include "support/ConnectionLimits.hpp"
#include "support/LogCapture.hpp"

#include <sqlite3.h>

#include <string>
#include <vector>

namespace zqb {
namespace {

class AnalyticsEndToEndSQLiteLimits : public test::EndToEndTest {
protected:
    // Registered before the library opens its database, for every connection of the test.
    test::ConnectionLimits limits{{{SQLITE_LIMIT_VARIABLE_NUMBER, 999}}};
};

TEST_F(AnalyticsEndToEndSQLiteLimits, AReportOfMoreEventsThanHalfTheLimitIsDeliveredAndLeavesTheFile) {
    replyWithConfiguration({{"countForRequest", 1000}});
    start();
    test::LogCapture log(ZQBLogLevel::error);
    constexpr std::size_t kCount = 600;
    for (std::size_t index = 0; index < kCount; ++index) {
        ZQBAnalytics::customEvent("limited-" + std::to_string(index));
    }
    test::settleAll();
    ASSERT_EQ(storedEventCount(), static_cast<int64_t>(kCount));

    ZQBAnalytics::sendBufferedEvents();
    const auto delivered = [&] {
        std::size_t found = 0;
        for (const auto& event : sentEvents("ce")) {
            found += event.value("name", "").rfind("limited-", 0) == 0 ? 1 : 0;
        }
        return found;
    };
    EXPECT_TRUE(test::waitUntil([&] { return delivered() >= kCount; }));
    test::settleAll();
    EXPECT_EQ(delivered(), kCount);
    EXPECT_EQ(storedEventCount(), 0);
    EXPECT_EQ(rowCount("reports"), 0);
    EXPECT_EQ(log.texts(), std::vector<std::string>{});
}

}  // namespace
}  // namespace zqb
