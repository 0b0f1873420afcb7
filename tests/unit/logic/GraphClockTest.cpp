#include "LogicTestBed.hpp"

#include "database/SQLiteProvider.hpp"
#include "repositories/CurrencyAccrualResourcesRepository.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace zqb::test {
namespace {

// The graph's clock stands at 2027-01-15 08:00:00 UTC while the process-wide one stays at the bed's start
// (2023-11-14): a record that took the process-wide clock would carry the other date.
constexpr int64_t kGraphNow = 1'800'000'000'000;

LogicTestBed::Options onItsOwnClock() {
    LogicTestBed::Options options;
    options.ownClockMs = kGraphNow;
    return options;
}

TEST(GraphClock, EveryRecordTheGraphMakesCarriesTheGraphsTime) {
    LogicTestBed bed(onItsOwnClock());
    bed.start();
    bed.ownClock->advance(1'000);
    bed.income([&] {
        bed.logic->customEvent("boss", {});
        bed.logic->currencyAccrual("gold", 10, "quest", ZQBAccrualType::earned);
        bed.logic->tutorial(3);
    });
    bed.committed();

    const auto custom = bed.storedEvents("ce");
    ASSERT_EQ(custom.size(), 1U);
    EXPECT_EQ(custom[0].json["timestamp"], kGraphNow + 1'000);
    const auto tutorial = bed.storedEvents("tr");
    ASSERT_EQ(tutorial.size(), 1U);
    EXPECT_EQ(tutorial[0].json["timestamp"], kGraphNow + 1'000);
    const auto accruals = CurrencyAccrualResourcesRepository(bed.observer).list();
    ASSERT_EQ(accruals.size(), 1U);
    EXPECT_EQ(accruals[0].timestamp, kGraphNow + 1'000);
}

TEST(GraphClock, AFileMovedAsideIsNamedByTheGraphsDate) {
    auto options = onItsOwnClock();
    options.fileBefore = std::string(4096, 'x');
    LogicTestBed bed(options);
    const auto folder = *SQLiteProvider::folderPath(*bed.graphEnvironment().files());
    const std::string damaged = std::string(SQLiteProvider::fileName) + ".damaged-";
    std::vector<std::string> moved;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(damaged, 0) == 0) {
            moved.push_back(name);
        }
    }
    ASSERT_EQ(moved.size(), 1U);
    EXPECT_EQ(moved[0], damaged + "20270115-080000");
}

}  // namespace
}  // namespace zqb::test
