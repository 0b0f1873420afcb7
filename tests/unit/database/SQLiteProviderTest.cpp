#include "database/Connection.hpp"
#include "database/SQLiteContracts.hpp"
#include "database/SQLiteError.hpp"
#include "database/SQLiteProvider.hpp"
#include "database/Statement.hpp"
#include "host/Environment.hpp"
#include "support/LogCapture.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <thread>
#include <utility>

namespace zqb {
namespace {

namespace fs = std::filesystem;

class SQLiteProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        files = std::make_shared<host::Files>(nullptr);
        files->setApplicationSupportDirectory(dir.path() / "support");
        host::Environment::shared().setFiles(files);
    }
    void TearDown() override { host::Environment::shared().reset(); }

    fs::path folder() const { return dir.path() / "support" / "vorantel"; }
    fs::path file() const { return folder() / "vorantel.db"; }

    // A second connection on the file, to look at what the provider wrote.
    std::vector<SQLiteRow> rows(const std::string& sql) {
        Connection connection(file().string());
        Statement statement(connection, sql);
        std::vector<SQLiteRow> result;
        while (statement.step()) {
            result.push_back(statement.cursor().row());
        }
        return result;
    }
    void execute(const std::string& sql) { Connection(file().string()).execute(sql); }
    int64_t scalar(const std::string& sql) { return std::get<int64_t>(*rows(sql).at(0).at(0)); }
    std::string text(const std::string& sql) { return std::get<std::string>(*rows(sql).at(0).at(0)); }
    std::vector<std::string> texts(const std::string& sql) {
        std::vector<std::string> result;
        for (const auto& row : rows(sql)) {
            result.push_back(std::get<std::string>(*row.at(0)));
        }
        return result;
    }
    std::vector<std::string> tables() {
        return texts(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name != 'sqlite_sequence' ORDER BY "
            "rowid");
    }
    std::vector<std::string> columns(const std::string& table) {
        return texts("SELECT name FROM pragma_table_info('" + table + "')");
    }
    std::string schema() {
        std::string all;
        for (const auto& sql : texts("SELECT sql FROM sqlite_master WHERE sql IS NOT NULL ORDER BY rowid")) {
            all += sql + "\n";
        }
        return all;
    }
    std::string contents(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    test::TempDir dir;
    std::shared_ptr<host::Files> files;
};

const std::vector<std::string> stepZeroTables{"projects",
                                              "users",
                                              "events",
                                              "reports",
                                              "levelResource",
                                              "currencyAccrualResources",
                                              "deviceIdentifiers",
                                              "realPaymentMarks",
                                              "tutorialMarkEntry",
                                              "peopleCards",
                                              "messagingCategory",
                                              "sdkTools"};

TEST_F(SQLiteProviderTest, FirstLaunchCreatesTheFolderTheTablesAndVersionOne) {
    test::LogCapture log;
    SQLiteProvider provider("key");
    EXPECT_EQ(log.texts(),
              (std::vector<std::string>{
                  "DEBUG [Database Module] It's a clean launch of the SDK",
                  "DEBUG [Database Module] Successfully opened connection to database at " + file().string(),
              }));
    auto expected = stepZeroTables;
    expected.push_back("subscriptions");
    EXPECT_EQ(tables(), expected);
    EXPECT_EQ(
        columns("deviceIdentifiers"),
        (std::vector<std::string>{"id", "projectId", "deviceIdentifier", "previousDeviceIdentifier",
                                  "vorantelId", "crossPlatformVorantelId", "uuid", "vorantelIdTimestamp"}));
    EXPECT_EQ(columns("users").size(), 10u);
    EXPECT_EQ(columns("projects").size(), 12u);
    EXPECT_EQ(columns("subscriptions"),
              (std::vector<std::string>{"id", "projectId", "products", "restoredTransaction",
                                        "alreadyRestored", "productIsChanged", "alreadySendRestoreEvent"}));
    EXPECT_EQ(scalar("PRAGMA user_version"), 1);
    EXPECT_EQ(text("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(SQLiteProvider::folderPath(), folder());
}

TEST_F(SQLiteProviderTest, SecondLaunchLoadsWithoutChangingAnything) {
    { SQLiteProvider("key").insert("events", {{"code", SQLiteValue(std::string("ce"))}}); }
    const std::string before = schema();
    test::LogCapture log;
    SQLiteProvider provider("other key");
    EXPECT_EQ(log.texts().at(0), "DEBUG [Database Module] Trying to load database");
    EXPECT_EQ(schema(), before);
    EXPECT_EQ(scalar("PRAGMA user_version"), 1);
    // All application keys share one file.
    EXPECT_EQ(provider.queryRows("events", {}).size(), 1u);
}

TEST_F(SQLiteProviderTest, VersionTwoIsSetBackToOneWithItsTablesUntouched) {
    { SQLiteProvider provider("key"); }
    execute(
        "PRAGMA user_version = 2; DROP TABLE subscriptions; INSERT INTO sdkTools (metadata) VALUES ('x')");
    const std::string before = schema();
    SQLiteProvider provider("key");
    EXPECT_EQ(scalar("PRAGMA user_version"), 1);
    EXPECT_EQ(schema(), before);
    EXPECT_EQ(provider.queryRows("sdkTools", {}).size(), 1u);
}

TEST_F(SQLiteProviderTest, VersionZeroWithTablesPresentRunsTheStepsAgainHarmlessly) {
    // Every table and column already there, version 0: the column of step 1 is not added a second time.
    { SQLiteProvider("key").insert("sdkTools", {{"metadata", SQLiteValue(std::string("{}"))}}); }
    execute("PRAGMA user_version = 0");
    { SQLiteProvider provider("key"); }
    EXPECT_EQ(scalar("PRAGMA user_version"), 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM sdkTools"), 1);

    // Only the tables of step 0, version 0: step 1 adds the table and the column.
    fs::remove_all(folder());
    fs::create_directories(folder());
    for (const auto& statement : SQLiteContracts::map().at(0)) {
        execute(statement);
    }
    EXPECT_EQ(columns("deviceIdentifiers").size(), 7u);
    SQLiteProvider provider("key");
    EXPECT_EQ(columns("deviceIdentifiers").back(), "vorantelIdTimestamp");
    EXPECT_EQ(tables().back(), "subscriptions");
    EXPECT_EQ(scalar("PRAGMA user_version"), 1);
}

TEST_F(SQLiteProviderTest, AFailingStepLeavesTheFileAsItWasAndALaterLaunchSucceeds) {
    fs::create_directories(folder());
    // An index holding the name of a table that step 1 creates makes that step fail.
    execute("CREATE TABLE other (a); CREATE INDEX subscriptions ON other (a)");
    try {
        SQLiteProvider provider("key");
        FAIL() << "opened";
    } catch (const SQLiteError& error) {
        EXPECT_EQ(error.message(), "there is already an index named subscriptions");
    }
    EXPECT_EQ(tables(), std::vector<std::string>{"other"});
    EXPECT_EQ(scalar("PRAGMA user_version"), 0);

    execute("DROP INDEX subscriptions");
    SQLiteProvider provider("key");
    EXPECT_EQ(tables().size(), 14u);
    EXPECT_EQ(scalar("PRAGMA user_version"), 1);
}

TEST_F(SQLiteProviderTest, AnUnknownNewerVersionIsRefusedAndLeftAlone) {
    { SQLiteProvider provider("key"); }
    execute("PRAGMA user_version = 3");
    const std::string before = schema();
    EXPECT_THROW(SQLiteProvider("key"), SQLiteError);
    EXPECT_EQ(scalar("PRAGMA user_version"), 3);
    EXPECT_EQ(schema(), before);
}

TEST_F(SQLiteProviderTest, AFileOfRandomBytesFailsTheInitialiserAndIsKept) {
    fs::create_directories(folder());
    std::mt19937 random(42);
    std::string bytes(8192, '\0');
    for (auto& byte : bytes) {
        byte = static_cast<char>(random());
    }
    std::ofstream(file(), std::ios::binary) << bytes;
    try {
        SQLiteProvider provider("key");
        FAIL() << "opened";
    } catch (const SQLiteError& error) {
        EXPECT_EQ(error.code(), SQLITE_NOTADB);
    }
    EXPECT_EQ(contents(file()), bytes);
}

TEST_F(SQLiteProviderTest, AFileCutInHalfFailsTheInitialiserAndIsKept) {
    {
        SQLiteProvider provider("key");
        for (int index = 0; index < 500; ++index) {
            provider.insert("events", {{"code", SQLiteValue(std::string("ce"))},
                                       {"userId", SQLiteValue(int64_t{1})},
                                       {"eventJson", SQLiteValue(std::string(200, 'x'))}});
        }
    }
    ASSERT_FALSE(fs::exists(file().string() + "-wal"));
    fs::resize_file(file(), fs::file_size(file()) / 2);
    const std::string cut = contents(file());
    try {
        SQLiteProvider provider("key");
        FAIL() << "opened";
    } catch (const SQLiteError& error) {
        EXPECT_EQ(error.code(), SQLITE_CORRUPT);
    }
    EXPECT_EQ(contents(file()), cut);
}

TEST_F(SQLiteProviderTest, WithoutASupportDirectoryTheInitialiserFailsWithCodeOne) {
    files->setApplicationSupportDirectory(fs::path());
    EXPECT_EQ(SQLiteProvider::folderPath(), std::nullopt);
    try {
        SQLiteProvider provider("key");
        FAIL() << "opened";
    } catch (const SQLiteError& error) {
        EXPECT_STREQ(error.what(), "SQLite error (code: 1)");
    }
}

TEST_F(SQLiteProviderTest, AFolderThatCannotBeMadeFailsTheInitialiser) {
    std::ofstream(dir.path() / "plain") << "x";
    files->setApplicationSupportDirectory(dir.path() / "plain" / "support");
    EXPECT_THROW(SQLiteProvider("key"), fs::filesystem_error);
}

TEST_F(SQLiteProviderTest, RowOperationsReportTheirResultsAndLogTheirFailures) {
    SQLiteProvider provider("key");
    test::LogCapture log(ZQBLogLevel::error);
    const ColumnMap project{{"applicationKey", SQLiteValue(std::string("a"))},
                            {"activeUserId", std::nullopt}};
    EXPECT_EQ(provider.insert("projects", project), 1);
    EXPECT_EQ(provider.insert("projects", {{"applicationKey", SQLiteValue(std::string("b"))}}), 2);
    EXPECT_EQ(rows("SELECT activeUserId, configuration FROM projects WHERE id = 1").at(0),
              (SQLiteRow{std::nullopt, SQLiteValue(std::string("{}"))}));
    EXPECT_TRUE(log.texts().empty());

    // A second project with the same key is refused.
    EXPECT_EQ(provider.insert("projects", project), std::nullopt);
    EXPECT_EQ(log.texts().back(),
              "ERROR [Database Module] Error in inserting: UNIQUE constraint failed: projects.applicationKey "
              "(code: 19)");
    EXPECT_EQ(provider.insert("projects", {}), std::nullopt);
    EXPECT_EQ(log.texts().back(), "ERROR [Database Module] Error in inserting: SQLite error (code: 1)");

    const ColumnMap tracking{{"trackingAvailable", sqliteBool(true)}, {"savedTime", SQLiteValue(int64_t{5})}};
    EXPECT_EQ(provider.update("projects", tracking, "id=?", {SQLiteValue(int64_t{2})}), 1);
    EXPECT_EQ(rows("SELECT trackingAvailable, savedTime FROM projects WHERE id = 2").at(0),
              (SQLiteRow{SQLiteValue(int64_t{1}), SQLiteValue(int64_t{5})}));
    EXPECT_EQ(provider.update("projects", tracking, "id=?", {SQLiteValue(int64_t{-1})}), 0);
    log.clear();
    EXPECT_EQ(provider.update("projects", tracking, "id=", {}), std::nullopt);
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{"ERROR [Database Module] Error in inserting: SQLite error (code: 1)"});

    EXPECT_EQ(
        provider.deleteRows("projects", "id IN (?, ?)", {SQLiteValue(int64_t{1}), SQLiteValue(int64_t{9})}),
        1);
    EXPECT_EQ(provider.deleteRows("projects", "id=?", {SQLiteValue(int64_t{9})}), 0);
    log.clear();
    EXPECT_EQ(provider.deleteRows("missing", "id=?", {SQLiteValue(int64_t{9})}), 0);
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{"ERROR [Database Module] Error in delete: SQLite error (code: 1)"});

    provider.clear("projects");
    EXPECT_EQ(scalar("SELECT count(*) FROM projects"), 0);
    log.clear();
    provider.clear("missing");
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{"ERROR [Database Module] Error in delete: SQLite error (code: 1)"});

    log.clear();
    EXPECT_TRUE(provider.queryRows("missing", {}).empty());
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{"ERROR [Database Module] Error in query: SQLite error (code: 1)"});
}

// Inserts of the same shape share one prepared statement: no value of an earlier insert may reach a later
// one, and a table dropped or rebuilt by another connection is met as a fresh statement would meet it.
TEST_F(SQLiteProviderTest, RepeatedInsertsCarryNoValuesOverAndFollowTheTableThroughChanges) {
    SQLiteProvider provider("key");
    const auto event = [](OptionalSQLiteValue json) -> ColumnMap {
        return {{"code", SQLiteValue(std::string("ce"))}, {"userId", std::nullopt}, {"eventJson", json}};
    };
    EXPECT_EQ(provider.insert("events", event(SQLiteValue(std::string("{\"a\":1}")))), 1);
    EXPECT_EQ(provider.insert("events", event(std::nullopt)), 2);
    EXPECT_EQ(rows("SELECT eventJson FROM events WHERE id = 2").at(0), SQLiteRow{std::nullopt});

    test::LogCapture log(ZQBLogLevel::error);
    execute("DROP TABLE events");
    EXPECT_EQ(provider.insert("events", event(SQLiteValue(std::string("{}")))), std::nullopt);
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{"ERROR [Database Module] Error in inserting: SQLite error (code: 1)"});

    // Built again with another column order: the values still land in their named columns.
    execute(
        "CREATE TABLE events (eventJson TEXT, id INTEGER PRIMARY KEY AUTOINCREMENT, userId INTEGER, "
        "code TEXT)");
    EXPECT_EQ(provider.insert("events", event(SQLiteValue(std::string("{\"b\":2}")))), 1);
    EXPECT_EQ(provider.insert("events", event(SQLiteValue(std::string("{\"c\":3}")))), 2);
    EXPECT_EQ(texts("SELECT eventJson FROM events ORDER BY id"),
              (std::vector<std::string>{"{\"b\":2}", "{\"c\":3}"}));
    EXPECT_EQ(log.texts().size(), 1u);
}

// Inserts on the writer queue share a transaction until the commit posted there runs; what another
// connection reads is only ever whole groups. Elsewhere, and for a provider nobody shares, each insert
// commits at once.
TEST_F(SQLiteProviderTest, InsertsOnTheWriterQueueCommitTogetherWhenItsPostedCommitRuns) {
    const auto event = [](const std::string& json) -> ColumnMap {
        return {{"code", SQLiteValue(std::string("ce"))},
                {"userId", SQLiteValue(int64_t{1})},
                {"eventJson", SQLiteValue(json)}};
    };
    const auto count = [&] { return scalar("SELECT COUNT(*) FROM events"); };
    bool onWriterQueue = true;
    std::vector<std::function<void()>> posted;
    const auto runPosted = [&] {
        auto operations = std::exchange(posted, {});
        for (auto& operation : operations) {
            operation();
        }
    };
    auto provider = std::make_shared<SQLiteProvider>("key");
    provider->groupInsertsOn(
        {[&] { return onWriterQueue; },
         [&](std::function<void()> operation) { posted.push_back(std::move(operation)); }});

    EXPECT_EQ(provider->insert("events", event("{\"n\":1}")), 1);
    EXPECT_EQ(provider->insert("events", event("{\"n\":2}")), 2);
    EXPECT_EQ(posted.size(), 1u);
    EXPECT_EQ(count(), 0);
    // The provider reads its own group.
    EXPECT_EQ(provider->queryRows("events", {}).size(), 2u);
    runPosted();
    EXPECT_EQ(count(), 2);

    // Off the writer queue: on its own, at once.
    onWriterQueue = false;
    EXPECT_EQ(provider->insert("events", event("{\"n\":3}")), 3);
    EXPECT_TRUE(posted.empty());
    EXPECT_EQ(count(), 3);

    // A group still open when the provider goes is committed, not dropped; its commit then does nothing.
    onWriterQueue = true;
    EXPECT_EQ(provider->insert("events", event("{\"n\":4}")), 4);
    provider.reset();
    EXPECT_EQ(count(), 4);
    runPosted();

    SQLiteProvider unshared("key");
    unshared.groupInsertsOn(
        {[] { return true; },
         [&](std::function<void()> operation) { posted.push_back(std::move(operation)); }});
    EXPECT_EQ(unshared.insert("events", event("{}")), 5);
    EXPECT_TRUE(posted.empty());
    EXPECT_EQ(count(), 5);
}

TEST_F(SQLiteProviderTest, SchemaConstraintsAndDefaultsHold) {
    SQLiteProvider provider("key");
    const auto user = [](std::optional<std::string> userId) {
        return ColumnMap{{"projectId", SQLiteValue(int64_t{1})},
                         {"userId", userId ? OptionalSQLiteValue(SQLiteValue(*userId)) : std::nullopt}};
    };
    EXPECT_TRUE(provider.insert("users", user("u")));
    EXPECT_FALSE(provider.insert("users", user("u")));
    EXPECT_TRUE(provider.insert("users", user(std::nullopt)));
    EXPECT_TRUE(provider.insert("users", user(std::nullopt)));
    EXPECT_EQ(scalar("SELECT level FROM users WHERE id = 1"), 1);

    EXPECT_TRUE(provider.insert("reports", {{"userId", SQLiteValue(int64_t{1})}}));
    EXPECT_EQ(text("SELECT uuid FROM reports"), "{}");
    EXPECT_TRUE(provider.insert("sdkTools", {{"metadata", SQLiteValue(std::string("{\"a\":1}"))}}));
    execute("INSERT INTO sdkTools DEFAULT VALUES");
    EXPECT_EQ(texts("SELECT metadata FROM sdkTools"), (std::vector<std::string>{"{\"a\":1}", "[]"}));

    // References are declarations only: a user with events can be deleted, and the events stay.
    EXPECT_TRUE(provider.insert("events", {{"userId", SQLiteValue(int64_t{1})}}));
    EXPECT_EQ(provider.deleteRows("users", "id=?", {SQLiteValue(int64_t{1})}), 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM events"), 1);
}

struct Mark {
    int64_t idKey;
    int64_t step;
    static std::optional<Mark> fromRow(const SQLiteRow& row) {
        const auto id = rowInteger(row, 0);
        const auto step = rowInteger(row, 2);
        if (!id || !step) {
            return std::nullopt;
        }
        return Mark{*id, *step};
    }
};

struct SharedMark {
    int64_t step;
    static std::shared_ptr<SharedMark> fromRow(const SQLiteRow& row) {
        const auto step = rowInteger(row, 2);
        return step ? std::make_shared<SharedMark>(SharedMark{*step}) : nullptr;
    }
};

TEST_F(SQLiteProviderTest, QueryReadsWholeTablesAndSkipsRowsItsReaderRefuses) {
    SQLiteProvider provider("key");
    for (const OptionalSQLiteValue& step :
         {OptionalSQLiteValue(SQLiteValue(int64_t{3})), OptionalSQLiteValue(),
          OptionalSQLiteValue(SQLiteValue(std::string("four"))),
          OptionalSQLiteValue(SQLiteValue(int64_t{5}))}) {
        provider.insert("tutorialMarkEntry", {{"userId", SQLiteValue(int64_t{1})}, {"step", step}});
    }
    const std::vector<Mark> marks = provider.query<Mark>("tutorialMarkEntry");
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0].idKey, 1);
    EXPECT_EQ(marks[0].step, 3);
    EXPECT_EQ(marks[1].idKey, 4);
    const std::vector<std::shared_ptr<SharedMark>> shared = provider.query<SharedMark>("tutorialMarkEntry");
    ASSERT_EQ(shared.size(), 2u);
    EXPECT_EQ(shared[1]->step, 5);

    QueryOptions options;
    options.selection = "step > ?";
    options.selectionArgs = std::vector<SQLiteValue>{SQLiteValue(int64_t{3})};
    EXPECT_EQ(provider.query<Mark>("tutorialMarkEntry", options).size(), 1u);
}

TEST_F(SQLiteProviderTest, RawSqlBuildsTheSelectInItsFixedOrder) {
    EXPECT_EQ(SQLiteProvider::rawSql("users", {}), "SELECT * FROM users");
    QueryOptions options;
    options.projection = std::vector<std::string>{};
    EXPECT_EQ(SQLiteProvider::rawSql("users", options), "SELECT * FROM users");
    options.projection = std::vector<std::string>{"a", "b"};
    options.join = "j";
    options.selection = "x=?";
    options.groupBy = "g";
    options.sortOrder = "o";
    options.limit = 5;
    EXPECT_EQ(SQLiteProvider::rawSql("t", options),
              "SELECT a,b FROM t JOIN j WHERE x=? GROUP BY g ORDER BY o LIMIT 5");
}

std::vector<SQLiteValue> ids(int64_t first, int64_t last) {
    std::vector<SQLiteValue> values;
    for (int64_t id = first; id <= last; ++id) {
        values.emplace_back(id);
    }
    return values;
}

std::string inList(std::size_t count, const char* separator) {
    std::string text = "id IN (";
    for (std::size_t index = 0; index < count; ++index) {
        text += index == 0 ? "?" : std::string(separator) + "?";
    }
    return text + ")";
}

class BigDeleteTest : public SQLiteProviderTest {
protected:
    void fill(int64_t count) {
        { SQLiteProvider provider("key"); }
        Connection connection(file().string());
        connection.execute("BEGIN");
        Statement insert(connection, "INSERT INTO events (code, userId, eventJson) VALUES ('ce', 1, '{}')");
        for (int64_t index = 0; index < count; ++index) {
            insert.run();
        }
        connection.execute("COMMIT");
    }
};

TEST_F(BigDeleteTest, MoreIdsThanOneStatementMayBindAreAllDeleted) {
    fill(80000);
    SQLiteProvider provider("key");
    // Both placeholder spellings of the repositories; one id matches nothing.
    auto values = ids(1, 40000);
    values.emplace_back(int64_t{999999});
    EXPECT_EQ(provider.deleteRows("events", inList(values.size(), ", "), values), 40000);
    values = ids(40001, 75000);
    EXPECT_EQ(provider.deleteRows("events", inList(values.size(), ","), values), 35000);
    EXPECT_EQ(scalar("SELECT count(*) FROM events"), 5000);
    EXPECT_EQ(scalar("SELECT min(id) FROM events"), 75001);
}

TEST_F(BigDeleteTest, AChunkedDeleteThatFailsDeletesNothing) {
    fill(40000);
    execute(
        "CREATE TRIGGER refuse BEFORE DELETE ON events WHEN old.id = 39000 BEGIN SELECT RAISE(ABORT, "
        "'refused'); END");
    SQLiteProvider provider("key");
    test::LogCapture log(ZQBLogLevel::error);
    const auto values = ids(1, 40000);
    EXPECT_EQ(provider.deleteRows("events", inList(values.size(), ", "), values), 0);
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{"ERROR [Database Module] Error in delete: refused (code: 19)"});
    EXPECT_EQ(scalar("SELECT count(*) FROM events"), 40000);
}

TEST_F(SQLiteProviderTest, ConcurrentInsertsEachGetTheirOwnRowId) {
    SQLiteProvider provider("key");
    constexpr int threadCount = 4;
    constexpr int perThread = 300;
    std::vector<std::vector<std::pair<int64_t, std::string>>> stored(threadCount);
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            for (int index = 0; index < perThread; ++index) {
                const std::string json = std::to_string(t) + ":" + std::to_string(index);
                const auto id = provider.insert(
                    "events", {{"code", SQLiteValue(std::string("ce"))}, {"eventJson", SQLiteValue(json)}});
                if (id) {
                    stored[t].emplace_back(*id, json);
                }
                // Updates and deletes from other threads in between must not disturb the row ids read back.
                provider.update("sdkTools", {{"metadata", SQLiteValue(json)}}, "id=?",
                                {SQLiteValue(int64_t{1})});
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::map<int64_t, std::string> table;
    for (const auto& row : provider.queryRows("events", {})) {
        table[std::get<int64_t>(*row[0])] = std::get<std::string>(*row[3]);
    }
    ASSERT_EQ(table.size(), static_cast<std::size_t>(threadCount * perThread));
    for (const auto& list : stored) {
        ASSERT_EQ(list.size(), static_cast<std::size_t>(perThread));
        for (const auto& [id, json] : list) {
            EXPECT_EQ(table[id], json);
        }
    }
}

}  // namespace
}  // namespace zqb
