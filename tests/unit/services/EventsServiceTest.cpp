#include "model/SessionStart.hpp"
#include "model/Tutorial.hpp"
#include "services/EventsService.hpp"
#include "support/LogCapture.hpp"
#include "support/ServiceTestBed.hpp"

#include <gtest/gtest.h>

namespace zqb {
namespace {

class EventsServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        setCountForRequest(3);
        service.setOnFullStackAction([this] { fullStacks++; });
    }

    void setCountForRequest(int64_t count) {
        Config config;
        config.countForRequest = count;
        bed.setConfig(config);
    }

    void setExclude(std::optional<bool> all) {
        Config config;
        config.countForRequest = 3;
        ExcludeEvents exclude;
        exclude.version = 1;
        exclude.all = all;
        config.exclude = exclude;
        bed.setConfig(config);
    }

    SessionStart event(int64_t timestamp = 1700000000000) { return SessionStart(timestamp, 2); }

    EventRepository::Cache storedEvents() { return EventRepository(bed.observer()).list(); }

    test::ServiceTestBed bed;
    EventsService service{bed.state, bed.eventRepository};
    int fullStacks = 0;
};

TEST_F(EventsServiceTest, StoresTheRecordAsARowOfTheActiveUserAndLogsIt) {
    test::LogCapture logs;
    const SessionStart record = event();
    service.addEvent(record);

    const auto rows = storedEvents();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]->code(), "ss");
    EXPECT_EQ(rows[0]->userId, bed.user()->idKey);
    EXPECT_EQ(rows[0]->json(), record.getJson());
    EXPECT_GT(rows[0]->idKey, 0);
    EXPECT_EQ(logs.texts(), std::vector<std::string>{"INFO Create a new event: \n" + record.description()});
}

TEST_F(EventsServiceTest, TrackingOffStoresNothingAndFiresNothing) {
    setCountForRequest(1);
    bed.project()->trackingAvailable = false;
    test::LogCapture logs;

    service.addEvent(event());
    service.addEvent(event(), *bed.addUser("other"));

    EXPECT_TRUE(storedEvents().empty());
    EXPECT_EQ(fullStacks, 0);
    EXPECT_EQ(logs.texts(), (std::vector<std::string>{"DEBUG Event [ss] not created. Tracking is Disabled",
                                                      "DEBUG Event [ss] not created. Tracking is Disabled"}));
}

TEST_F(EventsServiceTest, ExcludeAllRefusesEveryEvent) {
    setExclude(true);
    test::LogCapture logs;
    service.addEvent(event());
    EXPECT_TRUE(storedEvents().empty());
    EXPECT_EQ(logs.texts(), std::vector<std::string>{"INFO All events is excluded by project configuration"});
}

TEST_F(EventsServiceTest, ExclusionBlockWithoutOrWithFalseAllLetsEventsPass) {
    setExclude(std::nullopt);
    service.addEvent(event());
    setExclude(false);
    service.addEvent(event());
    EXPECT_EQ(storedEvents().size(), 2u);
}

TEST_F(EventsServiceTest, FullStackFiresFromTheThresholdOnAfterEveryEvent) {
    service.addEvent(event());
    service.addEvent(event());
    EXPECT_EQ(fullStacks, 0);
    service.addEvent(event());
    EXPECT_EQ(fullStacks, 1);
    // Nothing was sent meanwhile: the next event asks again.
    service.addEvent(event());
    EXPECT_EQ(fullStacks, 2);
}

TEST_F(EventsServiceTest, FullStackRunsInPlaceAfterTheRowIsStored) {
    setCountForRequest(1);
    std::size_t rowsSeen = 0;
    service.setOnFullStackAction([&] { rowsSeen = bed.eventRepository->list().size(); });
    service.addEvent(event());
    EXPECT_EQ(rowsSeen, 1u);
}

TEST_F(EventsServiceTest, CountOfOneOrLessFiresAfterEveryEvent) {
    for (const int64_t count : {1, 0, -5}) {
        setCountForRequest(count);
        const int before = fullStacks;
        service.addEvent(event());
        EXPECT_EQ(fullStacks, before + 1) << count;
    }
}

TEST_F(EventsServiceTest, OtherUsersEventsDoNotCountTowardsTheThreshold) {
    const auto other = bed.addUser("other");
    service.addEvent(event(), *other);
    service.addEvent(event(), *other);
    service.addEvent(event());
    service.addEvent(event());
    EXPECT_EQ(fullStacks, 0);
    service.addEvent(event(), *other);
    EXPECT_EQ(fullStacks, 1);
    service.addEvent(event());
    EXPECT_EQ(fullStacks, 2);
}

TEST_F(EventsServiceTest, EventForAnotherUserIsStoredUnderThatUser) {
    const auto other = bed.addUser("other");
    const Tutorial record(1700000000000, 1700000000000, 3, 5);
    service.addEvent(record, *other);
    const auto rows = storedEvents();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]->userId, other->idKey);
    EXPECT_EQ(rows[0]->code(), "tr");
}

TEST_F(EventsServiceTest, RemovingInactiveUsersDeletesOnlyTheirEvents) {
    const auto other = bed.addUser("other");
    const auto third = bed.addUser("third");
    service.addEvent(event());
    service.addEvent(event(), *other);
    service.addEvent(event(), *third);

    service.removeInactiveUserData({});
    EXPECT_EQ(storedEvents().size(), 3u);

    service.removeInactiveUserData({other, third});
    const auto rows = storedEvents();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]->userId, bed.user()->idKey);
    EXPECT_EQ(bed.eventRepository->list().size(), 1u);
}

TEST_F(EventsServiceTest, RemoveAllEventsEmptiesTheTableForEveryUser) {
    service.addEvent(event());
    service.addEvent(event(), *bed.addUser("other"));
    service.removeAllEvents();
    EXPECT_TRUE(storedEvents().empty());
    EXPECT_TRUE(bed.eventRepository->list().empty());

    // The cache starts again from the table: counting restarts at zero.
    service.addEvent(event());
    service.addEvent(event());
    EXPECT_EQ(fullStacks, 0);
}

}  // namespace
}  // namespace zqb
