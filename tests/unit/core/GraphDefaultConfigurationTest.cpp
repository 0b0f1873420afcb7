#include "backend/Config.hpp"
#include "core/CoreFactory.hpp"
#include "core/CoreGraph.hpp"
#include "core/ServiceFactory.hpp"
#include "database/SQLiteProvider.hpp"
#include "host/Environment.hpp"
#include "migration/NoLegacyDataMigration.hpp"
#include "repositories/ProjectRepository.hpp"
#include "support/ManualClock.hpp"
#include "support/QueueRunner.hpp"
#include "support/ScopedEnvironment.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace zqb::test {
namespace {

// The built-in configuration is made once per process. This suite runs in a process of its own, where the
// graph is the first to need it (for the project it creates) while the process-wide clock shows another
// time: a configuration dated by that clock would carry the other date.
TEST(GraphDefaultConfiguration, IsDatedByTheGraphsClock) {
    constexpr int64_t kGraphNow = 1'800'000'000'000;
    ScopedEnvironment shared(1'700'000'000'000);
    TempDir folder;
    host::Environment graphEnvironment;
    useOwnClockAndFolder(graphEnvironment, std::make_shared<ManualClock>(kGraphNow), folder.path());

    const Config active = onIncome([&] {
        LogicFactory parts;
        parts.migrationManager = [](const auto&, const auto&) {
            return std::make_shared<NoLegacyDataMigration>();
        };
        parts.analyticsLogic = [](const auto&, const auto&) {
            return std::shared_ptr<AnalyticsLogicProtocol>();
        };
        auto graph = CoreGraph::build(
            {"key", "key", std::nullopt, nullptr, nullptr, std::make_shared<UploadHandover>()}, parts,
            Queues::processWide(), graphEnvironment);
        if (!graph) {
            ADD_FAILURE() << "the graph's database cannot be opened";
            return Config();
        }
        return graph->serviceFactory->stateManager()->getActiveConfiguration();
    });
    settleAll();
    EXPECT_EQ(active.serverTime, kGraphNow);
    const auto stored = ProjectRepository(std::make_shared<SQLiteProvider>(*graphEnvironment.files(),
                                                                           *graphEnvironment.clock()),
                                          graphEnvironment.clock())
                            .list();
    ASSERT_EQ(stored.size(), 1U);
    ASSERT_TRUE(stored[0]->configurationJson);
    EXPECT_EQ(Config::decode(*stored[0]->configurationJson).serverTime, kGraphNow);
    EXPECT_EQ(Config::defaulConfiguration(shared.clock()).serverTime, kGraphNow);
}

}  // namespace
}  // namespace zqb::test
