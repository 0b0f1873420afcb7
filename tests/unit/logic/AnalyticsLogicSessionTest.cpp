// Sessions across background and foreground, the engagement of each foreground stretch, and the periodic
// work of the four timers: alive pings, currency accruals, timed and full-stack flushes. The logic's
// decisions are read from the recording services, whose timers tick when a test says so; the heartbeat also
// runs through the library's own timers.

#include "LogicTestBed.hpp"

#include "database/Connection.hpp"
#include "database/SQLiteProvider.hpp"
#include "services/PeopleServiceProtocol.hpp"
#include "validation/Validator.hpp"

#include "core/ServiceFactory.hpp"
#include "core/StateManager.hpp"
#include "support/SharedDatabase.hpp"

#include <gtest/gtest.h>

namespace zqb::test {
namespace {

using Timer = RecordingTimerService::Timer;

class AnalyticsLogicSessionTest : public ::testing::Test {
protected:
    void TearDown() override { Validator::setExcludedOptions(std::nullopt); }
};

TEST_F(AnalyticsLogicSessionTest,
       ABackgroundStayUpToTheTimeoutKeepsTheSessionOneMoreMillisecondOpensANewOne) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    const int64_t timeout = bed.defaultTestConfig().sessionTimeout;
    bed.start();
    ASSERT_EQ(events.flushed("ss").size(), 1u);

    bed.advance(10'000);
    bed.toBackground();
    bed.advance(timeout);
    bed.toForeground();
    EXPECT_EQ(bed.user().sessionId, kStart);
    EXPECT_EQ(events.events("ss").size(), 1u);

    bed.advance(5'000);
    bed.toBackground();
    bed.advance(timeout + 1);
    bed.toForeground();
    const int64_t secondSession = bed.now();
    EXPECT_EQ(bed.user().sessionId, secondSession);
    const auto starts = events.flushed("ss");
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[1].json["timestamp"], secondSession);

    // Each foreground stretch is reported with the session it belongs to.
    const auto engagements = events.flushed("ue");
    ASSERT_EQ(engagements.size(), 2u);
    EXPECT_EQ(engagements[0].json.dump(), R"({"code":"ue","timestamp":1700000010000,"level":1,"length":10,)"
                                          R"("sessionId":1700000000000})");
    EXPECT_EQ(engagements[1].json["length"], 5);
    EXPECT_EQ(engagements[1].json["sessionId"], kStart);
}

TEST_F(AnalyticsLogicSessionTest, TheActivityHeartbeatKeepsALongForegroundStayInOneSession) {
    LogicTestBed bed;
    const int64_t timeout = bed.defaultTestConfig().sessionTimeout;
    bed.start();
    bed.advance(timeout * 3);  // heartbeats every 15 s
    bed.toBackground();
    bed.toForeground();
    EXPECT_EQ(bed.user().sessionId, kStart);
    EXPECT_EQ(bed.sentEvents("ss").size(), 1u);
}

TEST_F(AnalyticsLogicSessionTest, AStretchShorterThanASecondRecordsNoEngagement) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    bed.start();
    bed.advance(999);
    bed.toBackground();
    EXPECT_TRUE(bed.recording->events->events("ue").empty());
    EXPECT_TRUE(bed.log.contains("The user engagement event was not generated, session length is zero"));
}

TEST_F(AnalyticsLogicSessionTest, AContinuedSessionRestartsTheTimersButSendsNothing) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& timers = *bed.recording->timers;
    const auto& reports = *bed.recording->reports;
    bed.start();
    bed.toBackground();
    EXPECT_FALSE(timers.running());
    const int sends = reports.sendBufferedCalls();
    const auto events = bed.recording->events->events().size();
    bed.toForeground();
    EXPECT_TRUE(timers.running());
    EXPECT_EQ(reports.sendBufferedCalls(), sends);
    EXPECT_TRUE(reports.flashEvents().empty());
    EXPECT_EQ(bed.recording->events->events().size(), events);
}

TEST_F(AnalyticsLogicSessionTest, WithTrackingOffAnActivationStartsNothing) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    bed.income([&] { bed.state->getActiveProject()->trackingAvailable = false; });
    bed.start();
    const int sends = bed.recording->reports->sendBufferedCalls();
    const auto events = bed.recording->events->events().size();
    bed.log.clear();
    bed.toForeground();
    EXPECT_TRUE(bed.log.contains("SDK not active!\n\t Tracking status is Disable!"));
    EXPECT_FALSE(bed.recording->timers->running());
    EXPECT_EQ(bed.recording->reports->sendBufferedCalls(), sends);
    EXPECT_EQ(bed.recording->events->events().size(), events);
    EXPECT_EQ(bed.pendingTimers(), 0u);
}

TEST_F(AnalyticsLogicSessionTest, AliveTicksSendAPingAtOnceUnlessExcluded) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    auto& timers = *bed.recording->timers;
    const auto& reports = *bed.recording->reports;
    const int64_t alive = bed.defaultTestConfig().aliveTimeout;
    bed.start();
    const auto stored = bed.recording->events->events().size();
    bed.advance(alive);
    bed.income([&] { timers.tick(Timer::alive); });
    const auto pings = reports.flashEvents("al");
    ASSERT_EQ(pings.size(), 1u);
    EXPECT_EQ(pings[0].json.dump(), R"({"code":"al","timestamp":)" + std::to_string(kStart + alive) + "}");
    EXPECT_EQ(bed.recording->events->events().size(), stored);

    Validator::setExcludedOptions(ExcludedOptions{{"al", {}}});
    bed.advance(alive);
    bed.income([&] { timers.tick(Timer::alive); });
    EXPECT_EQ(reports.flashEvents("al").size(), 1u);
}

TEST_F(AnalyticsLogicSessionTest, TheRequestTimerFlushesStoredEvents) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    const int64_t period = bed.defaultTestConfig().timeForRequest;
    bed.start();
    bed.income([&] { bed.logic->customEvent("level_started", {}); });
    ASSERT_EQ(events.unflushed().size(), 1u);
    ASSERT_EQ(events.events("ce").size(), 1u);
    bed.advance(period);
    bed.income([&] { bed.recording->timers->tick(Timer::request); });
    EXPECT_TRUE(events.unflushed().empty());
    EXPECT_EQ(events.flushed("ce").size(), 1u);
}

TEST_F(AnalyticsLogicSessionTest, AFullStackIsSentWithoutWaitingForTheTimer) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    auto& events = *bed.recording->events;
    const auto& reports = *bed.recording->reports;
    bed.start();
    const int sends = reports.sendBufferedCalls();
    bed.income([&] {
        for (int i = 0; i < 3; ++i) {
            bed.logic->customEvent("event_" + std::to_string(i), {});
        }
        // The events service tells a full batch right after the event that fills it.
        events.fullStack();
    });
    EXPECT_TRUE(bed.log.contains("There are enough events for dispatching"));
    EXPECT_EQ(events.flushed("ce").size(), 3u);
    EXPECT_TRUE(events.unflushed().empty());
    EXPECT_EQ(reports.sendBufferedCalls(), sends + 1);
}

TEST_F(AnalyticsLogicSessionTest, TheCurrencyAccrualTimerFoldsTheAccrualsIntoOneEvent) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    bed.start();
    bed.income([&] {
        bed.logic->currencyAccrual("gold", 5, "quest", ZQBAccrualType::earned);
        bed.logic->currencyAccrual("gold", 7, "quest", ZQBAccrualType::earned);
        bed.logic->currencyAccrual("gold", 2, "quest", ZQBAccrualType::bought);
        bed.logic->currencyAccrual("gems", 1, "shop", ZQBAccrualType::bought);
    });
    bed.advance(360'000);
    bed.income([&] { bed.recording->timers->tick(Timer::currencyAccrual); });
    EXPECT_TRUE(bed.log.contains("Currency accrual timer tick"));
    const auto accruals = bed.recording->events->unflushed("ca");
    ASSERT_EQ(accruals.size(), 1u);
    EXPECT_EQ(accruals[0].json.dump(), R"({"code":"ca","timestamp":1700000360000,"sessionId":1700000000000,)"
                                       R"("level":1,"earned":{"quest":{"gold":12}},)"
                                       R"("bought":{"quest":{"gold":2},"shop":{"gems":1}}})");
    EXPECT_EQ(bed.rowCount("currencyAccrualResources"), 0);
    // The level resources stay for the level-up.
    EXPECT_EQ(bed.rowCount("levelResource"), 3);
}

// Accruals whose rows the file refuses to delete are not reported yet: reported now and again once the rows
// go, they would be counted twice.
TEST_F(AnalyticsLogicSessionTest, AccrualsWhoseRowsCannotBeDeletedAreReportedOnceLater) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    bed.start();
    bed.income([&] { bed.logic->currencyAccrual("gold", 5, "quest", ZQBAccrualType::earned); });
    bed.committed();
    const auto file = (*zqb::test::databaseFolder() / SQLiteProvider::fileName).string();
    Connection(file).execute(
        "CREATE TRIGGER refuse BEFORE DELETE ON currencyAccrualResources "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    bed.income([&] { bed.recording->timers->tick(Timer::currencyAccrual); });
    EXPECT_TRUE(bed.recording->events->unflushed("ca").empty());
    EXPECT_EQ(bed.rowCount("currencyAccrualResources"), 1);
    EXPECT_EQ(bed.log.count("ERROR CA resources cannot be removed; they are reported with a later event"),
              1U);

    Connection(file).execute("DROP TRIGGER refuse");
    bed.income([&] {
        bed.logic->currencyAccrual("gold", 2, "quest", ZQBAccrualType::earned);
        bed.recording->timers->tick(Timer::currencyAccrual);
        bed.recording->timers->tick(Timer::currencyAccrual);
    });
    const auto accruals = bed.recording->events->unflushed("ca");
    ASSERT_EQ(accruals.size(), 1u);
    EXPECT_EQ(accruals[0].json["earned"].dump(), R"({"quest":{"gold":7}})");
    EXPECT_EQ(bed.rowCount("currencyAccrualResources"), 0);
}

TEST_F(AnalyticsLogicSessionTest, EndingTheActivityReportsPendingAccrualsAndCardChanges) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    const auto& events = *bed.recording->events;
    bed.start();
    bed.income([&] {
        bed.logic->currencyAccrual("gold", 5, "quest", ZQBAccrualType::earned);
        bed.services->peopleService()->setValue("name", PeopleValueType(std::string("Ann")));
    });
    bed.advance(2'000);
    bed.toBackground();
    EXPECT_EQ(events.flushed("ca").size(), 1u);
    const auto cards = events.flushed("pl");
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0].json["parameters"].dump(), R"({"name":"Ann"})");
    EXPECT_EQ(events.flushed("ue").size(), 1u);
    EXPECT_FALSE(bed.recording->timers->running());
    EXPECT_EQ(bed.pendingTimers(), 0u);
}

TEST_F(AnalyticsLogicSessionTest, ExcludedDeviceInformationIsNotRecorded) {
    LogicTestBed bed(LogicTestBed::recordingOptions());
    Validator::setExcludedOptions(ExcludedOptions{{"di", {}}});
    bed.start();
    EXPECT_TRUE(bed.recording->reports->flashEvents("di").empty());
    EXPECT_TRUE(bed.recording->events->events("di").empty());
}

}  // namespace
}  // namespace zqb::test
