// Start-up of the logic: the configuration given at initialisation, the start of the SDK with tracking on and
// off, the configuration answer of the gateway and what it restarts. What the logic stores, sends and times
// is read from the recording services; the start with tracking on also through the library's own graph.

#include "LogicTestBed.hpp"

#include "core/CoreFactory.hpp"
#include "core/ServiceFactory.hpp"
#include "core/StateManager.hpp"
#include "model/CurrencyAccrualResource.hpp"
#include "model/LevelResource.hpp"
#include "repositories/CurrencyAccrualResourcesRepository.hpp"
#include "repositories/LevelResourcesRepository.hpp"
#include "services/ConfigServiceProctocol.hpp"
#include "validation/CustomEventParamsLimit.hpp"
#include "validation/Validator.hpp"

#include <gtest/gtest.h>

namespace zqb::test {
namespace {

ZQBAnalyticsConfigurationLocal configuration(ZQBTrackingStatus tracking,
                                             std::optional<std::string> userId = std::nullopt,
                                             std::optional<int64_t> level = std::nullopt) {
    ZQBAnalyticsConfigurationLocal local;
    local.trackingAvailability = tracking;
    local.userId = std::move(userId);
    local.level = level;
    return local;
}

class AnalyticsLogicStartTest : public ::testing::Test {
protected:
    void TearDown() override {
        Validator::setExcludedOptions(std::nullopt);
        CustomEventParamsLimit::clear();
    }
};

TEST_F(AnalyticsLogicStartTest, StartWithTrackingOnOpensASessionSendsItAndAsksTheGateway) {
    LogicTestBed bed;
    bed.start();

    EXPECT_TRUE(bed.income([&] { return bed.logic->started(); }));
    EXPECT_EQ(bed.user().sessionId, kStart);
    const auto sessionStarts = bed.sentEvents("ss");
    ASSERT_EQ(sessionStarts.size(), 1u);
    EXPECT_EQ(sessionStarts[0].dump(), R"({"code":"ss","timestamp":1700000000000,"level":1})");
    EXPECT_EQ(bed.requestCount(LogicTestBed::kConfigPath), 1u);
    EXPECT_EQ(bed.requestCount(LogicTestBed::kIdentificationPath), 1u);
    EXPECT_EQ(bed.repeatingTimers(), 4u);
    EXPECT_TRUE(bed.storedEvents().empty());
}

// A host that is launching is still inactive when it initialises; its first becoming-active follows.
TEST_F(AnalyticsLogicStartTest, AStartWhileTheApplicationIsStillInactiveOpensTheSessionAtOnce) {
    auto options = LogicTestBed::recordingOptions();
    options.applicationState = host::ApplicationState::inactive;
    LogicTestBed bed(options);
    const auto& events = *bed.recording->events;
    const auto& timers = *bed.recording->timers;
    bed.start();
    EXPECT_EQ(bed.user().sessionId, kStart);
    EXPECT_EQ(events.flushed("ss").size(), 1u);
    EXPECT_TRUE(timers.running());

    bed.advance(1'000);
    bed.toForeground();
    EXPECT_EQ(bed.user().sessionId, kStart);
    EXPECT_EQ(events.events("ss").size(), 1u);
    EXPECT_TRUE(timers.running());
}

TEST_F(AnalyticsLogicStartTest, KnownServerIdsAreNotAskedForAgain) {
    LogicTestBed bed;
    bed.income([&] { bed.state->updateDeviceIdentifiers(5, 6, 7); });
    bed.start();
    EXPECT_EQ(bed.requestCount(LogicTestBed::kConfigPath), 1u);
    EXPECT_EQ(bed.requestCount(LogicTestBed::kIdentificationPath), 0u);
}

TEST_F(AnalyticsLogicStartTest, StartWithTrackingOffSendsOneStatusAndStartsNothing) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& reports = *bed.recording->reports;
    bed.income([&] { bed.state->getActiveProject()->trackingAvailable = false; });
    bed.start();

    EXPECT_FALSE(bed.income([&] { return bed.logic->started(); }));
    const auto sent = reports.flashEvents();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].json.dump(), R"({"code":"ts","timestamp":1700000000000,"trackingAllowed":false})");
    EXPECT_EQ(reports.sendBufferedCalls(), 0);
    EXPECT_TRUE(bed.log.contains("SDK not active!\n\t Tracking status is Disable!"));
    EXPECT_TRUE(bed.recording->events->events().empty());
    EXPECT_EQ(bed.requestCount(LogicTestBed::kConfigPath), 0u);
    EXPECT_FALSE(bed.recording->timers->running());
    EXPECT_EQ(bed.repeatingTimers(), 0u);
    EXPECT_FALSE(bed.user().sessionId.has_value());
}

TEST_F(AnalyticsLogicStartTest, ConfigurationSwitchesTrackingOnWithAStoredStatus) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    bed.income([&] { bed.state->getActiveProject()->trackingAvailable = false; });
    bed.income([&] {
        bed.logic->prepareCallBacks();
        bed.logic->applyAnalyticsConfiguration(configuration(ZQBTrackingStatus::enable));
    });
    EXPECT_TRUE(bed.project().trackingAvailable);
    const auto statuses = events.unflushed("ts");
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0].json.dump(), R"({"code":"ts","timestamp":1700000000000,"trackingAllowed":true})");
    EXPECT_TRUE(statuses[0].trackingAvailable);

    // Already on: no second status.
    bed.income([&] { bed.logic->applyAnalyticsConfiguration(configuration(ZQBTrackingStatus::enable)); });
    EXPECT_EQ(events.events("ts").size(), 1u);
}

TEST_F(AnalyticsLogicStartTest, ConfigurationSwitchesTrackingOffAndEmptiesTheTables) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    bed.income([&] {
        bed.logic->prepareCallBacks();
        bed.logic->customEvent("ignored", {});  // no session yet: dropped
        bed.state->getActiveUser()->sessionId = kStart;
        bed.logic->customEvent("kept", {});
        bed.logic->currencyAccrual("gold", 5, "shop", ZQBAccrualType::earned);
    });
    ASSERT_EQ(events.events().size(), 1u);
    ASSERT_EQ(bed.rowCount("levelResource"), 1);
    ASSERT_EQ(bed.rowCount("currencyAccrualResources"), 1);

    bed.income([&] { bed.logic->applyAnalyticsConfiguration(configuration(ZQBTrackingStatus::disable)); });
    EXPECT_FALSE(bed.project().trackingAvailable);
    EXPECT_EQ(events.removeAllCalls(), 1);
    EXPECT_TRUE(events.events().empty());
    EXPECT_EQ(bed.rowCount("levelResource"), 0);
    EXPECT_EQ(bed.rowCount("currencyAccrualResources"), 0);
    EXPECT_EQ(bed.rowCount("users"), 1);
}

TEST_F(AnalyticsLogicStartTest, ConfiguredUserAndLevel) {
    LogicTestBed bed;
    bed.income([&] {
        bed.logic->prepareCallBacks();
        bed.logic->applyAnalyticsConfiguration(configuration(ZQBTrackingStatus::unknown, "player-1", 4));
    });
    EXPECT_EQ(bed.user().userId, "player-1");
    EXPECT_EQ(bed.user().level, 4);
    EXPECT_FALSE(bed.user().isResourceAggregationEnable);
    EXPECT_TRUE(bed.log.contains("Set level [4] for user [player-1]"));
}

TEST_F(AnalyticsLogicStartTest, ConfiguredLevelChangeTurnsSavedAccrualsIntoEventsAndDropsLevelResources) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    bed.income([&] {
        bed.logic->prepareCallBacks();
        bed.state->getActiveUser()->sessionId = kStart - 5000;
        bed.logic->currencyAccrual("gold", 5, "shop", ZQBAccrualType::earned);
    });
    bed.advance(1000);
    bed.income(
        [&] { bed.logic->applyAnalyticsConfiguration(configuration(ZQBTrackingStatus::unknown, {}, 3)); });

    const auto accruals = bed.recording->events->unflushed("ca");
    ASSERT_EQ(accruals.size(), 1u);
    // Stamped with the time of the newest accrual, in the session it was gathered in.
    EXPECT_EQ(accruals[0].json.dump(),
              R"({"code":"ca","timestamp":1700000000000,"sessionId":1699999995000,"level":1,)"
              R"("earned":{"shop":{"gold":5}}})");
    EXPECT_EQ(bed.rowCount("levelResource"), 0);
    EXPECT_EQ(bed.rowCount("currencyAccrualResources"), 0);
    EXPECT_EQ(bed.user().level, 3);
}

TEST_F(AnalyticsLogicStartTest, ConfiguredLevelEqualToTheStoredOneKeepsTheResources) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    bed.income([&] {
        bed.logic->prepareCallBacks();
        bed.state->getActiveUser()->sessionId = kStart;
        bed.logic->currencyAccrual("gold", 5, "shop", ZQBAccrualType::earned);
        bed.logic->applyAnalyticsConfiguration(configuration(ZQBTrackingStatus::unknown, {}, 1));
    });
    EXPECT_EQ(bed.rowCount("levelResource"), 1);
    EXPECT_TRUE(bed.recording->events->events("ca").empty());
    EXPECT_TRUE(bed.log.contains("Set level [1] for user [" + bed.deviceId() + "]"));
}

TEST_F(AnalyticsLogicStartTest, GatewayConfigurationIsAppliedAndPublished) {
    auto options = LogicTestBed::recordingOptions();
    options.config.eventParamsCount = 7;
    ExcludeEvents exclude;
    exclude.version = 2;
    exclude.events = std::map<std::string, AnyCodableList>{{"ce", {AnyCodable(std::string("secret"))}}};
    options.config.exclude = exclude;
    options.storeConfig = false;
    LogicTestBed bed(options);

    bed.start();
    EXPECT_EQ(CustomEventParamsLimit::current(), 7);
    EXPECT_EQ(bed.income([&] { return bed.logic->getCustomEventParamsCount(); }), 7);
    const auto excluded = Validator::excludedOptions();
    ASSERT_TRUE(excluded.has_value());
    EXPECT_EQ(excluded->count("ce"), 1u);
    // Timers run again with the new periods while the activity runs.
    EXPECT_TRUE(bed.recording->timers->running());
}

TEST_F(AnalyticsLogicStartTest, StoredConfigurationIsPublishedAtStartUpWithoutItsExclusions) {
    LogicTestBed::Options options;
    options.config.eventParamsCount = 3;
    ExcludeEvents exclude;
    exclude.version = 1;
    exclude.events = std::map<std::string, AnyCodableList>{{"ce", {}}};
    options.config.exclude = exclude;
    options.answerConfig = false;
    LogicTestBed bed(options);

    bed.income([&] {
        bed.logic->prepareCallBacks();
        bed.logic->applyAnalyticsConfiguration(std::nullopt);
    });
    EXPECT_EQ(CustomEventParamsLimit::current(), 3);
    EXPECT_FALSE(Validator::excludedOptions().has_value());
}

TEST_F(AnalyticsLogicStartTest, UserCountingSwitchedOffRemovesTheOtherUsers) {
    LogicTestBed::Options options;
    options.config.userCounting = false;
    options.storeConfig = false;  // stored: the default, which counts users
    LogicTestBed bed(options);
    const auto other = bed.storeUser("other", kStart - 3'600'000);
    bed.income([&] {
        bed.coreFactory->currencyAccrualResourcesRepository()->insert(
            CurrencyAccrualResource(1700000000000, "gold", 1, "shop", ZQBAccrualType::earned, other->idKey));
    });
    ASSERT_EQ(bed.rowCount("users"), 2);

    bed.start();
    EXPECT_EQ(bed.rowCount("users"), 1);
    EXPECT_EQ(bed.rowCount("currencyAccrualResources"), 0);
    EXPECT_TRUE(bed.log.contains("Remove inactive users [other]"));
}

TEST_F(AnalyticsLogicStartTest, ConfigurationAfterTrackingWasSwitchedOffStartsNoTimers) {
    auto options = LogicTestBed::recordingOptions();
    options.answerConfig = false;
    LogicTestBed bed(options);
    auto& timers = *bed.recording->timers;
    const auto& reports = *bed.recording->reports;
    bed.start();
    ASSERT_TRUE(timers.running());

    bed.income([&] { bed.logic->setTrackingAvailability(false); });
    bed.settle();
    EXPECT_FALSE(timers.running());
    const auto sendsBefore = reports.sendBufferedCalls();

    // The answer to the request made at the start arrives late.
    bed.gateway.setReply(LogicTestBed::kConfigPath, {200, bed.defaultTestConfig().toJson().dump()});
    bed.income([&] { bed.services->configService()->receiveSdkConfig(); });
    bed.settle();
    EXPECT_FALSE(timers.running());
    bed.advance(3'600'000);
    bed.income([&] { timers.tickIfRunning(); });
    EXPECT_EQ(reports.sendBufferedCalls(), sendsBefore);
    EXPECT_TRUE(reports.flashEvents("al").empty());
}

TEST_F(AnalyticsLogicStartTest, ConfigurationInTheBackgroundLeavesTheTimersStopped) {
    auto options = LogicTestBed::recordingOptions();
    options.answerConfig = false;
    LogicTestBed bed(options);
    const auto& timers = *bed.recording->timers;
    bed.start();
    bed.income([&] { bed.logic->goBackground(); });
    ASSERT_FALSE(timers.running());

    bed.gateway.setReply(LogicTestBed::kConfigPath, {200, bed.defaultTestConfig().toJson().dump()});
    bed.income([&] { bed.services->configService()->receiveSdkConfig(); });
    bed.settle();
    EXPECT_FALSE(timers.running());

    bed.income([&] { bed.logic->goActive(); });
    EXPECT_TRUE(timers.running());
}

TEST_F(AnalyticsLogicStartTest, SecondStartWhileActiveLogsBothErrorsAndChangesNothing) {
    LogicTestBed bed;
    bed.start();
    bed.log.clear();
    bed.income([&] { bed.logic->startSDK(); });
    EXPECT_TRUE(bed.log.contains("The SDK is already running!"));
    EXPECT_TRUE(bed.log.contains("Activity cannot be launched before the SDK starts!"));
    EXPECT_EQ(bed.requestCount(LogicTestBed::kConfigPath), 1u);
}

TEST_F(AnalyticsLogicStartTest, ForceUpdateTellsTheKnownServerId) {
    LogicTestBed bed;
    std::vector<std::optional<int64_t>> told;
    bed.income([&] {
        bed.logic->setOnBackendIdentifiersUpdate([&told](std::optional<int64_t> id) { told.push_back(id); });
        bed.logic->forceUpdate();
        bed.state->updateDeviceIdentifiers(42, 43, 44);
        bed.logic->forceUpdate();
    });
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0], std::nullopt);
    EXPECT_EQ(told[1], 42);
}

}  // namespace
}  // namespace zqb::test
