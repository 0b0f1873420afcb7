#include "database/Connection.hpp"
#include "database/Statement.hpp"
#include "repositories/CurrencyAccrualResourcesRepository.hpp"
#include "repositories/EventRepository.hpp"
#include "repositories/IdentifiersRepository.hpp"
#include "repositories/LevelResourcesRepository.hpp"
#include "repositories/PeopleRepository.hpp"
#include "repositories/RealPaymentRepository.hpp"
#include "repositories/ReportsRepository.hpp"
#include "repositories/ToolsRepository.hpp"
#include "repositories/TutorialRepository.hpp"
#include "repositories/UserRepository.hpp"
#include "support/EveryRecordText.hpp"
#include "support/FullDiskVfs.hpp"
#include "support/LogCapture.hpp"
#include "unit/repositories/RepositoryTest.hpp"

#include <gtest/gtest.h>

namespace zqb {
namespace {

// Counts whole-table reads, passing everything on to the real provider.
class CountingDatabase final : public DatabaseProtocol {
public:
    explicit CountingDatabase(std::shared_ptr<DatabaseProtocol> inner) : inner_(std::move(inner)) {}
    std::optional<int64_t> insert(const std::string& table, const ColumnMap& content) noexcept override {
        return inner_->insert(table, content);
    }
    std::optional<int64_t> update(const std::string& table, const ColumnMap& values,
                                  const std::string& selection,
                                  const std::vector<SQLiteValue>& args) noexcept override {
        return inner_->update(table, values, selection, args);
    }
    int64_t deleteRows(const std::string& table, const std::string& selection,
                       const std::vector<SQLiteValue>& args) noexcept override {
        return inner_->deleteRows(table, selection, args);
    }
    std::optional<int64_t> deleteWhereIn(const std::string& table, const std::string& column,
                                         std::span<const int64_t> values) noexcept override {
        return inner_->deleteWhereIn(table, column, values);
    }
    bool clear(const std::string& table) noexcept override { return inner_->clear(table); }
    std::vector<SQLiteRow> queryRows(const std::string& table,
                                     const QueryOptions& options) noexcept override {
        ++queries;
        return inner_->queryRows(table, options);
    }
    int queries = 0;

private:
    std::shared_ptr<DatabaseProtocol> inner_;
};

std::shared_ptr<EventObject> event(int64_t userId, const std::string& code = "ce") {
    return EventObject::make(code, -1, userId, "{\"code\":\"" + code + "\"}");
}

// Events of these users stored by an earlier launch, whose repository is gone.
void storeEventsOfAnEarlierLaunch(const std::shared_ptr<DatabaseProtocol>& database,
                                  std::initializer_list<int64_t> users) {
    EventRepository earlier(database);
    for (int64_t user : users) {
        earlier.insert(event(user));
    }
}

TEST_F(RepositoriesTest, ListReadsANonEmptyTableOnceAndAnEmptyTableEveryTime) {
    auto counting = std::make_shared<CountingDatabase>(database);
    TutorialRepository repository(counting);
    EXPECT_EQ(counting->queries, 0);
    EXPECT_TRUE(repository.list().empty());
    EXPECT_TRUE(repository.list().empty());
    EXPECT_EQ(counting->queries, 2);

    repository.insert(TutorialMark{-1, 1, 3});  // the cache is empty: the table is read first
    EXPECT_EQ(counting->queries, 3);
    EXPECT_EQ(repository.list().size(), 1u);
    EXPECT_EQ(repository.list().size(), 1u);
    EXPECT_EQ(counting->queries, 3);
}

TEST_F(RepositoriesTest, TheFirstInsertJoinsTheRowsAlreadyStored) {
    storeEventsOfAnEarlierLaunch(database, {1, 2, 1});
    reopen();
    EventRepository repository(database);
    auto added = event(2, "lu");
    repository.insert(added);
    const auto events = repository.list();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0]->idKey, 1);
    EXPECT_EQ(events[2]->idKey, 3);
    EXPECT_EQ(events[3], added);
    EXPECT_EQ(added->idKey, 4);
}

TEST_F(RepositoriesTest, EventsStayInStepWithTheirTable) {
    EventRepository repository(database);
    std::vector<std::shared_ptr<EventObject>> events;
    for (int64_t index = 0; index < 6; ++index) {
        events.push_back(event(index % 3 + 1, "e" + std::to_string(index)));
        repository.insert(events.back());
        EXPECT_EQ(events.back()->idKey, index + 1);
    }
    // The cache holds the caller's objects themselves.
    EXPECT_EQ(repository.list()[0], events[0]);
    EXPECT_EQ(rows("SELECT code, userId, eventJson FROM events WHERE id = 2").at(0),
              (SQLiteRow{SQLiteValue(std::string("e1")), SQLiteValue(int64_t{2}),
                         SQLiteValue(std::string("{\"code\":\"e1\"}"))}));

    repository.deleteItems({events[1], events[4]});
    repository.deleteForDataForUsers({3});
    repository.deleteItems({});
    repository.deleteForDataForUsers({});
    ASSERT_EQ(repository.list().size(), 2u);
    EXPECT_EQ(repository.list()[1], events[3]);
    expectInStep(repository);
}

TEST_F(RepositoriesTest, AnEventRowStoresTheTextItsEventWasMadeFrom) {
    // Every record's text, and texts without a compact form (a raw control byte) or too long for the stack.
    auto texts = test::everyRecordText();
    texts.insert(texts.end(), {"", "{\"s\":\"raw\x01\"}", "{\"t\":" + std::string(700, '7') + "}"});
    EventRepository repository(database);
    for (const auto& text : texts) {
        repository.insert(EventObject::make("ce", -1, 1, text), text);
    }
    const auto stored = rows("SELECT eventJson FROM events ORDER BY id");
    ASSERT_EQ(stored.size(), texts.size());
    for (std::size_t index = 0; index < texts.size(); ++index) {
        EXPECT_EQ(stored[index].at(0), SQLiteValue(texts[index])) << texts[index];
        EXPECT_EQ(repository.list()[index]->json(), texts[index]);
    }
    expectInStep(repository);
}

TEST_F(RepositoriesTest, DeletingRecordsThatAreNotCachedStillDeletesTheirRows) {
    EventRepository(database).insert(event(1));
    reopen();
    EventRepository repository(database);
    auto stored = EventObject::make("ce", 1, 1, "{}");
    repository.deleteItems({stored});
    EXPECT_TRUE(rows("SELECT * FROM events").empty());
    EXPECT_TRUE(repository.list().empty());
}

TEST_F(RepositoriesTest, ARefusedInsertLeavesTheRecordOutOfTheCache) {
    EventRepository repository(database);
    repository.insert(event(1));
    execute("DROP TABLE events");
    test::LogCapture log(ZQBLogLevel::error);
    auto refused = event(1);
    repository.insert(refused);
    EXPECT_EQ(refused->idKey, -1);
    EXPECT_EQ(repository.list().size(), 1u);
    EXPECT_EQ(log.count("ERROR [Database Module] Error in inserting: "), 1u);
    repository.insert(nullptr);
}

TEST_F(RepositoriesTest, TheEventCacheClearsWithItsTable) {
    EventRepository repository(database);
    repository.insert(event(1));
    repository.insert(event(2));
    repository.clear();
    EXPECT_TRUE(repository.cache().empty());
    EXPECT_TRUE(rows("SELECT * FROM events").empty());
}

// The per-user counts against a walk of the cache, after every kind of change the repository makes.
TEST_F(RepositoriesTest, EventCountsPerUserFollowEveryChangeOfTheCache) {
    storeEventsOfAnEarlierLaunch(database, {1, 2, 1});
    reopen();
    EventRepository repository(database);
    const auto expectCounts = [&](const std::string& step) {
        for (int64_t user : {1, 2, 3, 4}) {
            int64_t walked = 0;
            for (const auto& cached : repository.cache()) {
                walked += cached->userId == user ? 1 : 0;
            }
            EXPECT_EQ(repository.countForUser(user), walked) << step << ", user " << user;
        }
    };
    // The first ask loads the rows of the earlier launch.
    EXPECT_EQ(repository.countForUser(1), 2);
    expectCounts("loaded");

    std::vector<std::shared_ptr<EventObject>> added;
    for (int64_t user : {3, 1, 3, 4, 2}) {
        added.push_back(event(user));
        repository.insert(added.back());
    }
    expectCounts("inserted");

    // An event given twice, one that is not cached and a null one.
    repository.deleteItems({added[0], added[0], EventObject::make("ce", 999, 3, "{}"), nullptr});
    expectCounts("deleted by id");
    repository.deleteForDataForUsers({4, 4, 7});
    expectCounts("deleted by user");

    // A refused insert changes nothing.
    execute("ALTER TABLE events RENAME TO parked");
    {
        test::LogCapture quiet(ZQBLogLevel::error);
        repository.insert(event(1));
    }
    execute("ALTER TABLE parked RENAME TO events");
    expectCounts("refused insert");

    // A change made through the cache itself is noticed.
    repository.cache().pop_back();
    expectCounts("changed through the cache");

    repository.clear();
    EXPECT_EQ(repository.countForUser(1), 0);
    repository.insert(event(2));
    expectCounts("cleared and inserted");

    // Emptied by deletions, the cache is loaded again from the table, here with rows another connection
    // wrote meanwhile.
    repository.deleteItems(repository.list());
    execute("INSERT INTO events (code, userId, eventJson) VALUES ('ce', 4, '{}'), ('ce', 4, '{}')");
    EXPECT_EQ(repository.countForUser(4), 2);
    expectCounts("reloaded");
}

TEST_F(RepositoriesTest, DeletingTensOfThousandsOfEventsById) {
    {
        Connection connection(file().string());
        connection.execute("BEGIN");
        Statement insert(connection, "INSERT INTO events (code, userId, eventJson) VALUES ('ce', 1, '{}')");
        for (int index = 0; index < 45000; ++index) {
            insert.run();
        }
        connection.execute("COMMIT");
    }
    EventRepository repository(database);
    auto events = repository.list();
    ASSERT_EQ(events.size(), 45000u);
    events.resize(40000);
    repository.deleteItems(events);
    EXPECT_EQ(repository.list().size(), 5000u);
    EXPECT_EQ(repository.list().front()->idKey, 40001);
    expectInStep(repository);
}

Package package(std::vector<std::string> events) {
    Package result;
    result.language = "en";
    result.appVersion = "1.0";
    result.sdkVersion = "2.1.2";
    result.sdkCodeVersion = 10;
    result.events = std::move(events);
    return result;
}

TEST_F(RepositoriesTest, ReportsStoreTheirPackagesAfreshAndStayInStep) {
    ReportsRepository repository(database);
    auto first = std::make_shared<Report>(std::vector<Package>{package({"{\"code\":\"ce\"}"})});
    first->userId = 1;
    first->packagesJson = "stale";
    auto second = std::make_shared<Report>(std::vector<Package>{});
    second->userId = 2;
    auto third = std::make_shared<Report>(std::vector<Package>{package({})});
    third->userId = 2;
    for (const auto& report : {first, second, third}) {
        repository.insert(report);
    }
    EXPECT_EQ(first->idKey, 1);
    const auto stored = rows("SELECT userId, packagesJson, uuid FROM reports ORDER BY id");
    EXPECT_EQ(stored.at(0).at(1), SQLiteValue(Report::packagesText(first->packages)));
    // The report keeps the text its row holds, to be sent as it stands.
    EXPECT_EQ(stored.at(0).at(1), SQLiteValue(first->packagesJson.value_or("")));
    EXPECT_EQ(stored.at(0).at(2), SQLiteValue(first->uuid));
    EXPECT_EQ(stored.at(1).at(1), SQLiteValue(std::string("[]")));

    reopen();
    ReportsRepository fresh(database);
    const auto reports = fresh.list();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0]->uuid, first->uuid);
    ASSERT_EQ(reports[0]->packages.size(), 1u);
    EXPECT_EQ(reports[0]->packages[0].events, first->packages[0].events);

    fresh.deleteItems({reports[0]});
    EXPECT_EQ(fresh.list().size(), 2u);
    fresh.deleteForDataForUsers({2, 7});
    EXPECT_TRUE(fresh.cache().empty());
    expectInStep(fresh);
    ReportsRepository again(database);
    again.insert(std::make_shared<Report>(std::vector<Package>{}));
    again.clear();
    EXPECT_TRUE(rows("SELECT * FROM reports").empty());
}

TEST_F(RepositoriesTest, UsersWriteEveryColumnAndKeepTheirBalanceMarkInMemory) {
    UserRepository repository(database);
    auto user = std::make_shared<User>(1, "player", false);
    repository.insert(user);
    auto defaultUser = std::make_shared<User>(1, std::nullopt, true);
    repository.insert(defaultUser);
    EXPECT_EQ(user->idKey, 1);
    EXPECT_EQ(defaultUser->idKey, 2);

    auto duplicate = std::make_shared<User>(1, "player", false);
    repository.insert(duplicate);
    EXPECT_EQ(duplicate->idKey, -1);
    EXPECT_EQ(repository.list().size(), 2u);

    user->level = 4;
    user->sessionId = 1700000000000;
    user->previousUserId = "old";
    user->lastForegroundTime = 5;
    user->lastBackgroundTime = 6;
    user->isResourceAggregationEnable = false;
    user->balanceIsSent = true;
    repository.update(user);
    EXPECT_EQ(rows("SELECT * FROM users WHERE id = 1").at(0),
              (SQLiteRow{SQLiteValue(int64_t{1}), SQLiteValue(int64_t{1}), SQLiteValue(int64_t{4}),
                         SQLiteValue(int64_t{1700000000000}), SQLiteValue(std::string("player")),
                         SQLiteValue(std::string("old")), SQLiteValue(int64_t{5}), SQLiteValue(int64_t{6}),
                         SQLiteValue(int64_t{0}), SQLiteValue(int64_t{0})}));
    expectInStep(repository);
    UserRepository fresh(database);
    EXPECT_FALSE(fresh.list()[0]->balanceIsSent);
    EXPECT_EQ(fresh.list()[1]->userId, std::nullopt);

    fresh.deleteItems({});
    fresh.deleteItems({fresh.list()[0]});
    ASSERT_EQ(fresh.list().size(), 1u);
    EXPECT_EQ(fresh.list()[0]->idKey, 2);
    expectInStep(fresh);
}

TEST_F(RepositoriesTest, DeviceIdentifiersWriteTheGatewayNumbersAndTheirRemoval) {
    IdentifiersRepository repository(database);
    auto identifiers = std::make_shared<DeviceIdentifiers>(1, "device", "UUID");
    repository.insert(identifiers);
    identifiers->vorantelId = 77;
    identifiers->crossPlatformVorantelId = 78;
    identifiers->vorantelIdTimestamp = 79;
    identifiers->previousDeviceIdentifier = "before";
    repository.update(identifiers);
    EXPECT_EQ(
        rows("SELECT vorantelId, crossPlatformVorantelId, vorantelIdTimestamp FROM deviceIdentifiers").at(0),
        (SQLiteRow{SQLiteValue(int64_t{77}), SQLiteValue(int64_t{78}), SQLiteValue(int64_t{79})}));
    identifiers->vorantelId.reset();
    identifiers->crossPlatformVorantelId.reset();
    identifiers->vorantelIdTimestamp.reset();
    repository.update(identifiers);
    EXPECT_EQ(
        rows("SELECT vorantelId, crossPlatformVorantelId, vorantelIdTimestamp FROM deviceIdentifiers").at(0),
        (SQLiteRow{std::nullopt, std::nullopt, std::nullopt}));
    expectInStep(repository);
}

TEST_F(RepositoriesTest, PeopleCardsReplaceTheCachedCardOnUpdate) {
    PeopleRepository repository(database);
    auto card = std::make_shared<PeopleCard>(1);
    repository.insert(card);
    repository.insert(std::make_shared<PeopleCard>(2));
    EXPECT_EQ(rows("SELECT json, updated, cleared, changedKeys FROM peopleCards WHERE id = 1").at(0),
              (SQLiteRow{SQLiteValue(std::string()), SQLiteValue(int64_t{0}), SQLiteValue(int64_t{0}),
                         SQLiteValue(std::string())}));

    auto replacement = std::make_shared<PeopleCard>(1);
    replacement->idKey = card->idKey;
    replacement->json = "{\"name\":\"Ann\",\"age\":3}";
    replacement->changedKeys = {"name", "age"};
    replacement->updated = true;
    repository.update(replacement);
    EXPECT_EQ(repository.list()[0], replacement);
    EXPECT_EQ(rows("SELECT json, updated, changedKeys FROM peopleCards WHERE id = 1").at(0),
              (SQLiteRow{SQLiteValue(replacement->json), SQLiteValue(int64_t{1}),
                         SQLiteValue(std::string("name,age"))}));

    expectInStep(repository);
    PeopleRepository fresh(database);
    EXPECT_EQ(fresh.list()[0]->changedKeys, (std::vector<std::string>{"name", "age"}));
    fresh.deleteForDataForUsers({1});
    ASSERT_EQ(fresh.list().size(), 1u);
    EXPECT_EQ(fresh.list()[0]->userId, 2);
    expectInStep(fresh);

    // A card that is not cached leaves the cache alone and still writes its row.
    PeopleRepository loaded(database);
    ASSERT_EQ(loaded.list().size(), 1u);
    execute("INSERT INTO peopleCards (id, userId, json) VALUES (9, 3, '')");
    auto stray = std::make_shared<PeopleCard>(3);
    stray->idKey = 9;
    stray->cleared = true;
    loaded.update(stray);
    ASSERT_EQ(loaded.list().size(), 1u);
    EXPECT_NE(loaded.list()[0], stray);
    EXPECT_EQ(rows("SELECT cleared FROM peopleCards WHERE id = 9").at(0).at(0), SQLiteValue(int64_t{1}));
}

TEST_F(RepositoriesTest, ToolsStoreTheirMetadataAsAJsonObject) {
    ToolsRepository repository(database);
    auto tools = std::make_shared<SdkTools>();
    repository.insert(tools);
    EXPECT_EQ(rows("SELECT metadata FROM sdkTools").at(0).at(0), SQLiteValue(std::string("{}")));
    auto replacement = std::make_shared<SdkTools>(PeopleValueMap{{"sdkVersion", PeopleValueType("2.1.2")}});
    replacement->idKey = tools->idKey;
    repository.update(replacement);
    EXPECT_EQ(repository.list()[0], replacement);
    EXPECT_EQ(rows("SELECT metadata FROM sdkTools").at(0).at(0),
              SQLiteValue(std::string("{\"sdkVersion\":\"2.1.2\"}")));
    expectInStep(repository);
}

TEST_F(RepositoriesTest, LevelResourcesAreCopiedInAndOut) {
    LevelResourcesRepository repository(database);
    LevelResource gold{-1, 1, LevelResourceType::earned, "gold", 5};
    repository.insert(gold);
    repository.insert(LevelResource{-1, 1, LevelResourceType::spent, "gems", 2});
    repository.insert(LevelResource{-1, 2, LevelResourceType::bought, "gold", 9});
    EXPECT_EQ(gold.idKey, -1);
    auto cached = repository.list();
    ASSERT_EQ(cached.size(), 3u);
    EXPECT_EQ(cached[0].idKey, 1);
    EXPECT_EQ(rows("SELECT type FROM levelResource WHERE id = 2").at(0).at(0), SQLiteValue(int64_t{2}));

    cached[0].amount = 12;
    EXPECT_EQ(repository.list()[0].amount, 5);  // a copy, until it is written back
    repository.update(cached[0]);
    EXPECT_EQ(repository.list()[0].amount, 12);
    EXPECT_EQ(rows("SELECT amount FROM levelResource WHERE id = 1").at(0).at(0), SQLiteValue(int64_t{12}));

    gold.amount = 99;  // the caller's own copy of a new resource selects no row
    repository.update(gold);
    EXPECT_EQ(rows("SELECT sum(amount) FROM levelResource").at(0).at(0), SQLiteValue(int64_t{23}));

    repository.deleteItems({});
    repository.deleteForDataForUsers({5});
    EXPECT_EQ(repository.list().size(), 3u);
    repository.deleteItems({cached[1]});
    repository.deleteForDataForUsers({2});
    ASSERT_EQ(repository.list().size(), 1u);
    expectInStep(repository);
    LevelResourcesRepository fresh(database);
    fresh.clear();
    EXPECT_TRUE(fresh.cache().empty());
    EXPECT_TRUE(rows("SELECT * FROM levelResource").empty());
}

TEST_F(RepositoriesTest, CurrencyAccrualsCacheACopyWithTheRowsTime) {
    CurrencyAccrualResourcesRepository repository(database);
    const CurrencyAccrualResource accrual(1700000000000, "gold", 5, "shop", ZQBAccrualType::bought, 1);
    env.clock().advance(250);
    repository.insert(accrual);
    repository.insert(CurrencyAccrualResource(1700000000000, "gems", 1, "quest", ZQBAccrualType::earned, 2));
    EXPECT_EQ(accrual.idKey, -1);
    auto cached = repository.list();
    ASSERT_EQ(cached.size(), 2u);
    EXPECT_EQ(cached[0].idKey, 1);
    EXPECT_EQ(cached[0].timestamp, accrual.timestamp);
    EXPECT_EQ(rows("SELECT type, timestamp FROM currencyAccrualResources WHERE id = 1").at(0),
              (SQLiteRow{SQLiteValue(int64_t{1}), SQLiteValue(accrual.timestamp)}));

    // Writing the cached accrual back keeps row and cache together.
    cached[0].amount = 8;
    repository.update(cached[0]);
    EXPECT_EQ(repository.list()[0].amount, 8);
    repository.deleteItems({});
    repository.deleteItems({cached[1]});
    ASSERT_EQ(repository.list().size(), 1u);
    expectInStep(repository);

    CurrencyAccrualResourcesRepository fresh(database);
    fresh.deleteForDataForUsers({1});
    EXPECT_TRUE(fresh.cache().empty());
    EXPECT_TRUE(rows("SELECT * FROM currencyAccrualResources").empty());
    fresh.insert(accrual);
    fresh.clear();
    EXPECT_TRUE(fresh.cache().empty());
    EXPECT_TRUE(rows("SELECT * FROM currencyAccrualResources").empty());
}

// A write the file refuses leaves the cache as the file holds it: a relaunch reads back what the cache
// shows, and the caller learns of a failed deletion.
TEST_F(RepositoriesTest, AWriteTheFileRefusesLeavesTheCacheAsTheFileHoldsIt) {
    test::FullDiskVfs disk;
    reopen();
    EventRepository events(database);
    ReportsRepository reports(database);
    UserRepository users(database);
    PeopleRepository cards(database);
    LevelResourcesRepository resources(database);
    TutorialRepository tutorials(database);
    for (int64_t user : {1, 2}) {
        events.insert(event(user));
    }
    auto report = std::make_shared<Report>(std::vector<Package>{package({"{}"})});
    reports.insert(report);
    auto user = std::make_shared<User>(1, "player", false);
    users.insert(user);
    cards.insert(std::make_shared<PeopleCard>(1));
    resources.insert(LevelResource{-1, 1, LevelResourceType::earned, "gold", 5});
    tutorials.insert(TutorialMark{-1, 1, 1});

    disk.setFull(true);
    {
        test::LogCapture quiet(ZQBLogLevel::error);
        EXPECT_FALSE(events.deleteItems({events.list()[0]}));
        EXPECT_FALSE(events.deleteForDataForUsers({2}));
        EXPECT_FALSE(events.clear());
        EXPECT_FALSE(reports.deleteItems({report}));
        EXPECT_FALSE(reports.clear());
        user->level = 9;
        user->balanceIsSent = true;
        users.update(user);
        users.deleteItems({user});
        auto card = std::make_shared<PeopleCard>(1);
        card->idKey = cards.list()[0]->idKey;
        card->json = "{\"name\":\"Ann\"}";
        cards.update(card);
        auto gold = resources.list()[0];
        gold.amount = 12;
        resources.update(gold);
        resources.clear();
        tutorials.insert(TutorialMark{-1, 1, 2});
    }
    // The shared object that the update changed holds the row again; what only memory keeps stays.
    EXPECT_EQ(user->level, 1);
    EXPECT_TRUE(user->balanceIsSent);
    EXPECT_EQ(events.countForUser(2), 1);
    disk.setFull(false);
    expectInStep(events);
    expectInStep(reports);
    expectInStep(users);
    expectInStep(cards);
    expectInStep(resources);
    expectInStep(tutorials);
    database.reset();  // closed while its file system is there
}

TEST_F(RepositoriesTest, MarksAreRememberedAcrossARelaunch) {
    TutorialRepository tutorials(database);
    RealPaymentRepository payments(database);
    const TutorialMark step{-1, 1, 3};
    tutorials.insert(step);
    const RealPaymentMark order{-1, 1, "order-1"};
    payments.insert(order);
    EXPECT_EQ(step.idKey, -1);
    EXPECT_EQ(tutorials.list().at(0).idKey, 1);
    EXPECT_EQ(payments.list().at(0).orderId, "order-1");
    expectInStep(tutorials);
    expectInStep(payments);
    EXPECT_EQ(TutorialRepository(database).list().at(0).step, 3);
    EXPECT_EQ(RealPaymentRepository(database).list().at(0).projectId, 1);
}

}  // namespace
}  // namespace zqb
