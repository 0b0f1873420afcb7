#include "database/Connection.hpp"
#include "database/RowSalvage.hpp"
#include "database/SQLiteContracts.hpp"
#include "database/SQLiteError.hpp"
#include "database/SQLiteProvider.hpp"
#include "database/SchemaRepair.hpp"
#include "database/Statement.hpp"
#include "host/Environment.hpp"
#include "host/FileLock.hpp"
#include "support/ChildProcess.hpp"
#include "support/ConnectionLimits.hpp"
#include "support/FullDiskVfs.hpp"
#include "support/LogCapture.hpp"
#include "support/PrivateMount.hpp"
#include "support/SharedDatabase.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <thread>
#include <utility>
#include <variant>

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
    SQLiteProvider provider = zqb::test::openDatabase();
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
    EXPECT_EQ(zqb::test::databaseFolder(), folder());
}

TEST_F(SQLiteProviderTest, SecondLaunchLoadsWithoutChangingAnything) {
    { zqb::test::openDatabase().insert("events", {{"code", SQLiteValue(std::string("ce"))}}); }
    const std::string before = schema();
    test::LogCapture log;
    SQLiteProvider provider = zqb::test::openDatabase();
    EXPECT_EQ(log.texts().at(0), "DEBUG [Database Module] Trying to load database");
    EXPECT_EQ(schema(), before);
    EXPECT_EQ(scalar("PRAGMA user_version"), 1);
    // All application keys share one file.
    EXPECT_EQ(provider.queryRows("events", {}).size(), 1u);
}

TEST_F(SQLiteProviderTest, VersionTwoIsSetBackToOneWithItsTablesUntouched) {
    { SQLiteProvider provider = zqb::test::openDatabase(); }
    execute(
        "PRAGMA user_version = 2; DROP TABLE subscriptions; INSERT INTO sdkTools (metadata) VALUES ('x')");
    const std::string before = schema();
    SQLiteProvider provider = zqb::test::openDatabase();
    EXPECT_EQ(scalar("PRAGMA user_version"), 1);
    EXPECT_EQ(schema(), before);
    EXPECT_EQ(provider.queryRows("sdkTools", {}).size(), 1u);
}

TEST_F(SQLiteProviderTest, VersionZeroWithTablesPresentRunsTheStepsAgainHarmlessly) {
    // Every table and column already there, version 0: the column of step 1 is not added a second time.
    { zqb::test::openDatabase().insert("sdkTools", {{"metadata", SQLiteValue(std::string("{}"))}}); }
    execute("PRAGMA user_version = 0");
    { SQLiteProvider provider = zqb::test::openDatabase(); }
    EXPECT_EQ(scalar("PRAGMA user_version"), 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM sdkTools"), 1);

    // Only the tables of step 0, version 0: step 1 adds the table and the column.
    fs::remove_all(folder());
    fs::create_directories(folder());
    for (const auto& statement : SQLiteContracts::map().at(0)) {
        execute(statement);
    }
    EXPECT_EQ(columns("deviceIdentifiers").size(), 7u);
    SQLiteProvider provider = zqb::test::openDatabase();
    EXPECT_EQ(columns("deviceIdentifiers").back(), "vorantelIdTimestamp");
    EXPECT_EQ(tables().back(), "subscriptions");
    EXPECT_EQ(scalar("PRAGMA user_version"), 1);
}

// The usual file is known by one read of its schema table, without building the schema in memory: every
// table as the schema statements leave it, whether the file was built new, brought from version 0 by the
// steps, or had a table mended whole. A table that differs in any way is compared column by column.
TEST_F(SQLiteProviderTest, AFileMadeByTheSchemaStatementsIsKnownByItsSchemaTable) {
    const auto made = [&] {
        Connection connection(file().string());
        return SchemaRepair::madeByTheSchemaStatements(connection);
    };
    { SQLiteProvider provider = zqb::test::openDatabase(); }
    EXPECT_TRUE(made());
    const std::string built = schema();
    fs::remove_all(folder());
    fs::create_directories(folder());
    execute("PRAGMA journal_mode=WAL");
    { SQLiteProvider provider = zqb::test::openDatabase(); }
    EXPECT_TRUE(made());
    // A new file is built from the tables as the steps leave them, at once: the same schema, word for word.
    EXPECT_EQ(schema(), built);
    execute("DROP TABLE deviceIdentifiers");
    { SQLiteProvider provider = zqb::test::openDatabase(); }
    EXPECT_TRUE(made());

    for (const char* change :
         {"DROP TABLE reports", "ALTER TABLE events DROP COLUMN eventJson",
          "ALTER TABLE sdkTools ADD COLUMN extra TEXT",
          "DROP TABLE messagingCategory; CREATE TABLE messagingCategory (id INTEGER PRIMARY KEY, identifier "
          "TEXT, buttons TEXT)"}) {
        SCOPED_TRACE(change);
        fs::remove_all(folder());
        { SQLiteProvider provider = zqb::test::openDatabase(); }
        execute(change);
        EXPECT_FALSE(made());
    }
}

// A file that cannot serve goes aside whole, under a name that says why, and a new database takes its
// place: left where it was, it would keep every later launch from recording anything.
TEST_F(SQLiteProviderTest, AFileThatCannotServeIsMovedAsideWholeAndANewDatabaseTakesItsPlace) {
    struct Damage {
        const char* name;
        std::function<void()> apply;
        std::string label;
    };
    const auto overwrite = [&](std::size_t offset, const std::string& bytes) {
        std::fstream out(file(), std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(offset));
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    };
    const std::vector<Damage> damages{
        {"random bytes",
         [&] {
             std::mt19937 random(42);
             std::string bytes(8192, '\0');
             for (auto& byte : bytes) {
                 byte = static_cast<char>(random());
             }
             std::ofstream(file(), std::ios::binary | std::ios::trunc) << bytes;
         },
         "damaged"},
        {"cut in half", [&] { fs::resize_file(file(), fs::file_size(file()) / 2); }, "damaged"},
        {"zeroed header", [&] { overwrite(0, std::string(100, '\0')); }, "damaged"},
        // Rows are read by column position: a column missing before others, one of another type, or one
        // that SQLite cannot add to a table (NOT NULL without a default) cannot be mended in place.
        {"column missing before others", [&] { execute("ALTER TABLE events DROP COLUMN code"); }, "damaged"},
        {"column of another type",
         [&] {
             execute(
                 "ALTER TABLE messagingCategory RENAME TO old; CREATE TABLE messagingCategory (id INTEGER "
                 "PRIMARY KEY, identifier INTEGER, buttons TEXT); DROP TABLE old");
         },
         "damaged"},
        {"column that cannot be added", [&] { execute("ALTER TABLE levelResource DROP COLUMN amount"); },
         "damaged"},
        // A name that a schema step needs, taken by something else: the step would fail at every launch.
        {"taken name",
         [&] {
             execute(
                 "DROP TABLE subscriptions; CREATE INDEX subscriptions ON sdkTools (metadata); "
                 "PRAGMA user_version = 0");
         },
         "damaged"},
        {"newer version", [&] { execute("PRAGMA user_version = 3"); }, "unsupported-version-3"},
    };
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.name);
        fs::remove_all(folder());
        {
            SQLiteProvider provider = zqb::test::openDatabase();
            for (int index = 0; index < 500; ++index) {
                provider.insert("events", {{"code", SQLiteValue(std::string("ce"))},
                                           {"userId", SQLiteValue(int64_t{1})},
                                           {"eventJson", SQLiteValue(std::string(200, 'x'))}});
            }
        }
        // The provider leaves its log beside the file: merged into it first, so that the damage is the
        // file's whole content.
        execute("PRAGMA wal_checkpoint(TRUNCATE)");
        ASSERT_FALSE(fs::exists(file().string() + "-wal"));
        damage.apply();
        const std::string before = contents(file());

        test::LogCapture log(ZQBLogLevel::error);
        SQLiteProvider provider = zqb::test::openDatabase();
        ASSERT_TRUE(provider.movedAside());
        const fs::path moved = *provider.movedAside();
        EXPECT_EQ(moved.parent_path(), folder());
        EXPECT_EQ(moved.filename().string().rfind("vorantel.db." + damage.label + "-", 0), 0u)
            << moved.filename();
        EXPECT_EQ(contents(moved), before);
        ASSERT_EQ(log.texts().size(), 1u);
        EXPECT_EQ(log.texts()[0].rfind("ERROR [Database Module] Error in query: ", 0), 0u) << log.texts()[0];
        EXPECT_NE(log.texts()[0].find("; the file " + file().string() + " was moved to " + moved.string() +
                                      " and a new database was created"),
                  std::string::npos)
            << log.texts()[0];
        EXPECT_EQ(scalar("PRAGMA user_version"), 1);
        EXPECT_EQ(provider.insert("events", {{"code", SQLiteValue(std::string("ce"))}}), 1);
    }
}

// A file that only lacks a table, or columns that can be added at the end of a table, is mended in place:
// moved aside, it would take the host's users, the import flag and the events not yet sent with it.
TEST_F(SQLiteProviderTest, AFileLackingATableOrColumnsThatCanBeAddedIsMendedInPlaceAndKeepsItsRows) {
    struct Loss {
        const char* sql;
        std::vector<std::pair<std::string, std::string>> mended;  // table, column ("" for the table)
    };
    const std::vector<Loss> losses{
        {"DROP TABLE reports", {{"reports", ""}}},
        {"DROP TABLE tutorialMarkEntry; DROP TABLE subscriptions",
         {{"tutorialMarkEntry", ""}, {"subscriptions", ""}}},
        {"ALTER TABLE projects DROP COLUMN isMigrated", {{"projects", "isMigrated"}}},
        {"ALTER TABLE users DROP COLUMN isResourceAggregationEnable; ALTER TABLE users DROP COLUMN "
         "isDefaultUser",
         {{"users", "isDefaultUser"}, {"users", "isResourceAggregationEnable"}}},
        {"ALTER TABLE deviceIdentifiers DROP COLUMN vorantelIdTimestamp",
         {{"deviceIdentifiers", "vorantelIdTimestamp"}}},
    };
    std::map<std::string, std::vector<std::string>> complete;
    for (const auto& loss : losses) {
        SCOPED_TRACE(loss.sql);
        fs::remove_all(folder());
        { SQLiteProvider provider = zqb::test::openDatabase(); }
        for (const auto& [table, column] : loss.mended) {
            complete.emplace(table, columns(table));
        }
        execute(
            "INSERT INTO projects (applicationKey, activeUserId) VALUES ('key', 1); INSERT INTO users "
            "(projectId, userId) VALUES (1, 'alice'); INSERT INTO events (code, userId, eventJson) VALUES "
            "('ce', "
            "1, '{}')");
        execute(loss.sql);

        test::LogCapture log(ZQBLogLevel::warning);
        SQLiteProvider provider = zqb::test::openDatabase();
        EXPECT_FALSE(provider.movedAside());
        EXPECT_EQ(scalar("PRAGMA user_version"), 1);
        std::vector<std::string> expected;
        for (const auto& [table, column] : loss.mended) {
            EXPECT_EQ(columns(table), complete.at(table)) << table;
            expected.push_back(
                column.empty()
                    ? "WARNING [Database Module] The table " + table + " was missing from the database " +
                          file().string() + "; it was created"
                    : "WARNING [Database Module] The column " + column + " was missing from the table " +
                          table + " of the database " + file().string() + "; it was added with its default");
        }
        EXPECT_EQ(log.texts(), expected);
        EXPECT_EQ(scalar("SELECT activeUserId FROM projects"), 1);
        EXPECT_EQ(text("SELECT userId FROM users"), "alice");
        EXPECT_EQ(scalar("SELECT count(*) FROM events"), 1);
        EXPECT_EQ(provider.queryRows("events", {}).size(), 1u);
    }
}

// Writes an event row whose text holds `marker` and is long enough that a page holds only a few of them.
std::string eventInsert(int64_t id, const std::optional<int64_t>& user, const std::string& marker) {
    return "INSERT INTO events (id, code, userId, eventJson) VALUES (" + std::to_string(id) + ", 'ce', " +
           (user ? std::to_string(*user) : "NULL") + ", '{\"name\":\"" + marker + "\",\"pad\":\"" +
           std::string(900, 'p') + "\"}');";
}

// A file that must go aside first gives the new one what can still be read of its projects, users, events
// and reports, under their ids; rows whose project or user was not carried stay behind, and a table is read
// up to its first unreadable page.
TEST_F(SQLiteProviderTest, AFileThatMustGoAsideHasItsReadableRowsCarriedIntoTheNewOne) {
    { SQLiteProvider provider = zqb::test::openDatabase(); }
    std::string sql =
        "INSERT INTO projects (id, applicationKey, activeUserId, isMigrated) VALUES (1, 'key', 2, 1), (2, "
        "'other', 9, 0);"
        "INSERT INTO users (id, projectId, userId) VALUES (1, 1, 'alice'), (2, 1, 'bob'), (3, 7, 'lost');"
        "INSERT INTO reports (id, userId, packagesJson, uuid) VALUES (1, 1, '[]', 'r1'), (2, 99, '[]', "
        "'r2');" +
        eventInsert(1, 3, "of-a-user-not-carried") + eventInsert(2, std::nullopt, "of-no-user");
    for (int64_t id = 3; id <= 300; ++id) {
        sql += eventInsert(id, 2, "event-" + std::to_string(id));
    }
    execute(sql + "ALTER TABLE levelResource DROP COLUMN amount");
    // A page in the middle of the events cannot be read.
    const std::string bytes = contents(file());
    const auto at = bytes.find("event-150\"");
    ASSERT_NE(at, std::string::npos);
    {
        std::fstream out(file(), std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(at / 4096 * 4096));
        out.write(std::string(8, '\xff').data(), 8);
    }
    const std::string before = contents(file());

    test::LogCapture log(ZQBLogLevel::warning);
    SQLiteProvider provider = zqb::test::openDatabase();
    ASSERT_TRUE(provider.movedAside());
    EXPECT_EQ(contents(*provider.movedAside()), before);

    EXPECT_EQ(rows("SELECT id, applicationKey, activeUserId, isMigrated FROM projects ORDER BY id"),
              (std::vector<SQLiteRow>{{SQLiteValue(int64_t{1}), SQLiteValue(std::string("key")),
                                       SQLiteValue(int64_t{2}), SQLiteValue(int64_t{1})},
                                      {SQLiteValue(int64_t{2}), SQLiteValue(std::string("other")),
                                       std::nullopt, SQLiteValue(int64_t{0})}}));
    EXPECT_EQ(texts("SELECT userId FROM users ORDER BY id"), (std::vector<std::string>{"alice", "bob"}));
    EXPECT_EQ(texts("SELECT uuid FROM reports"), (std::vector<std::string>{"r1"}));
    // The events of user 2 before the damaged page, each under its id.
    const int64_t carried = scalar("SELECT count(*) FROM events");
    EXPECT_GT(carried, 100);
    EXPECT_LT(carried, 148);
    EXPECT_EQ(scalar("SELECT min(id) FROM events"), 3);
    EXPECT_EQ(scalar("SELECT max(id) FROM events"), carried + 2);
    EXPECT_EQ(
        scalar("SELECT count(*) FROM events WHERE userId = 2 AND eventJson LIKE '%\"event-' || id || '\"%'"),
        carried);
    EXPECT_EQ(provider.insert("events", {{"code", SQLiteValue(std::string("ce"))}}), carried + 3);

    const auto carriedLine = log.matching("were carried");
    ASSERT_EQ(carriedLine.size(), 1u);
    EXPECT_EQ(carriedLine[0],
              "WARNING [Database Module] The rows that could still be read were carried from " +
                  provider.movedAside()->string() + " into " + file().string() +
                  ": projects 2, users 2, reports 1, events " + std::to_string(carried) +
                  "; reading stopped: events: database disk image is malformed");

    // The read gives up at its time bound, and then carries nothing more.
    Connection empty((dir.path() / "empty.db").string());
    for (const auto& step : SQLiteContracts::map()) {
        for (const auto& statement : step) {
            empty.execute(statement);
        }
    }
    const auto late = RowSalvage::carry(*provider.movedAside(), empty, std::chrono::milliseconds(0));
    EXPECT_EQ(late.stoppedBy, "reading took longer than 0 ms");
    for (const auto& [table, count] : late.carried) {
        EXPECT_EQ(count, 0) << table;
    }
}

// Rows are carried by column name and only where they fit: a value is converted as SQLite converts it for
// the column, a row that still does not fit stays behind, and a second user with the key of one carried is
// that user, whose id its events then carry.
TEST_F(SQLiteProviderTest, OnlyRowsThatFitAreCarriedAndDuplicateUsersBecomeOne) {
    fs::create_directories(folder());
    // An earlier layout: users without their unique key, a level held as text, columns in another order.
    execute(
        "CREATE TABLE projects (id INTEGER PRIMARY KEY, applicationKey TEXT, activeUserId INTEGER);"
        "CREATE TABLE users (id INTEGER PRIMARY KEY, projectId INTEGER, level TEXT NOT NULL, userId TEXT);"
        "CREATE TABLE events (eventJson TEXT, userId INTEGER, code TEXT, id INTEGER PRIMARY KEY);"
        "INSERT INTO projects VALUES (1, 'key', 4), (2, 'key', NULL), (3, NULL, NULL);"
        "INSERT INTO users VALUES (1, 1, '1', 'alice'), (2, 1, 'high', 'bob'), (3, 2, '5', 'carol'), "
        "(4, 1, '2', 'alice');"
        "INSERT INTO events VALUES ('{\"n\":1}', 4, 'ce', 1), ('{\"n\":2}', 2, 'ce', 2), (x'01', 1, 'ce', "
        "3), "
        "('{\"n\":4}', '1', 'ce', 4), ('{\"n\":5}', 3, 'ce', 5);"
        "PRAGMA user_version = 1");

    SQLiteProvider provider = zqb::test::openDatabase();
    ASSERT_TRUE(provider.movedAside());
    // Project 2 repeats the key of project 1 and project 3 has none; user 2's level is not a number; user 4
    // is alice again, so the active user of project 1 and its event are alice's, user 1.
    EXPECT_EQ(rows("SELECT id, applicationKey, activeUserId FROM projects"),
              (std::vector<SQLiteRow>{
                  {SQLiteValue(int64_t{1}), SQLiteValue(std::string("key")), SQLiteValue(int64_t{1})}}));
    EXPECT_EQ(rows("SELECT id, projectId, level, userId FROM users ORDER BY id"),
              (std::vector<SQLiteRow>{{SQLiteValue(int64_t{1}), SQLiteValue(int64_t{1}),
                                       SQLiteValue(int64_t{1}), SQLiteValue(std::string("alice"))},
                                      {SQLiteValue(int64_t{3}), SQLiteValue(int64_t{1}),
                                       SQLiteValue(int64_t{5}), SQLiteValue(std::string("carol"))}}));
    EXPECT_EQ(
        rows("SELECT id, userId, eventJson FROM events ORDER BY id"),
        (std::vector<SQLiteRow>{
            {SQLiteValue(int64_t{1}), SQLiteValue(int64_t{1}), SQLiteValue(std::string("{\"n\":1}"))},
            {SQLiteValue(int64_t{4}), SQLiteValue(int64_t{1}), SQLiteValue(std::string("{\"n\":4}"))},
            {SQLiteValue(int64_t{5}), SQLiteValue(int64_t{3}), SQLiteValue(std::string("{\"n\":5}"))}}));
}

// A read-only file, or a file in a read-only folder: the opening fails (the start-up then fails with its
// ERROR) instead of every later write, and the file is left as it was.
TEST_F(SQLiteProviderTest, AFileOrFolderThatCannotBeWrittenFailsTheInitialiserAndIsLeftAsItWas) {
    for (const bool wholeFolder : {false, true}) {
        SCOPED_TRACE(wholeFolder ? "folder" : "file");
        fs::remove_all(folder());
        { zqb::test::openDatabase().insert("events", {{"code", SQLiteValue(std::string("ce"))}}); }
        const std::string before = contents(file());
        const auto names = [&] {
            std::set<std::string> found;
            for (const auto& entry : fs::directory_iterator(folder())) {
                found.insert(entry.path().filename().string());
            }
            return found;
        };
        const auto namesBefore = names();
        const fs::path locked = wholeFolder ? folder() : file();
        // Root writes through the mode bits: for root it becomes a read-only mount instead.
        std::optional<test::PrivateMount> readOnly;
        if (geteuid() == 0) {
            readOnly.emplace(test::PrivateMount::readOnly(locked));
            if (!readOnly->mounted()) {
                GTEST_SKIP() << "nothing can be made read-only here: " << readOnly->refusal();
            }
        } else {
            fs::permissions(locked,
                            fs::perms::owner_read | (wholeFolder ? fs::perms::owner_exec : fs::perms::none));
        }
        EXPECT_ANY_THROW(zqb::test::openDatabase());
        EXPECT_EQ(contents(file()), before);
        EXPECT_EQ(names(), namesBefore);
        readOnly.reset();
        fs::permissions(locked, fs::perms::owner_all);
    }
}

// A new database is built under another name and takes its own only once complete: a start cut short at
// any moment leaves either no database or one with its whole schema, and the next start cleans up after it.
TEST_F(SQLiteProviderTest, ACreationCutShortLeavesNoDatabaseWithoutItsSchema) {
    const auto leftovers = [&] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder())) {
            if (entry.path().filename().string().find(SQLiteProvider::creationSuffix) != std::string::npos) {
                names.push_back(entry.path().filename().string());
            }
        }
        return names;
    };
    // The kills land around the moment a start completes, found as they go (a start that completed moves
    // the next kill earlier, one cut short moves it later), until both outcomes were met a few times.
    fs::create_directories(folder());
    std::mt19937 random(7);
    double span = 4000;
    int complete = 0;
    int cut = 0;
    for (int attempt = 0; attempt < 200 && (attempt < 20 || complete < 3 || cut < 3); ++attempt) {
        SCOPED_TRACE(attempt);
        for (const char* suffix : {"", "-wal", "-shm"}) {
            fs::remove(file().string() + suffix);
        }
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                SQLiteProvider provider = zqb::test::openDatabase();
            } catch (...) {
            }
            _exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % static_cast<long>(span + 1)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (fs::exists(file())) {
            ++complete;
            span *= 0.8;
            EXPECT_EQ(scalar("PRAGMA user_version"), 1);
            EXPECT_EQ(tables().size(), stepZeroTables.size() + 1);
        } else {
            cut += WIFSIGNALED(status) ? 1 : 0;
            span *= 1.25;
        }
        // The next start removes what the killed one left and works.
        SQLiteProvider provider = zqb::test::openDatabase();
        EXPECT_EQ(leftovers(), std::vector<std::string>{});
        EXPECT_TRUE(provider.insert("events", {{"code", SQLiteValue(std::string("ce"))}}));
    }
    EXPECT_GE(complete, 3);
    EXPECT_GE(cut, 3);

    // A creation still under way in another process (here the long-lived process 1) is left to it; one of
    // a process that has ended, or of this one, is removed.
    fs::remove(file());
    const pid_t ended = fork();
    if (ended == 0) {
        _exit(0);
    }
    waitpid(ended, nullptr, 0);
    const auto name = [](long pid, const char* suffix) {
        return std::string(SQLiteProvider::fileName) + SQLiteProvider::creationSuffix + std::to_string(pid) +
               suffix;
    };
    for (const auto& leftover : {name(1, ""), name(ended, ""), name(ended, "-journal"), name(getpid(), ""),
                                 name(getpid(), "-wal")}) {
        std::ofstream(folder() / leftover) << "half made";
    }
    SQLiteProvider provider = zqb::test::openDatabase();
    EXPECT_EQ(leftovers(), std::vector<std::string>{name(1, "")});
    EXPECT_EQ(scalar("PRAGMA user_version"), 1);
}

// A creation that fails (here for want of space) leaves nothing behind, and the next start creates the file.
TEST_F(SQLiteProviderTest, ACreationThatFailsLeavesNothingBehind) {
    fs::create_directories(folder());
    {
        test::FullDiskVfs disk;
        disk.setFull(true);
        EXPECT_ANY_THROW(zqb::test::openDatabase());
        EXPECT_GT(disk.refusedWrites(), 0u);
    }
    EXPECT_TRUE(fs::is_empty(folder()));
    SQLiteProvider provider = zqb::test::openDatabase();
    EXPECT_EQ(scalar("PRAGMA user_version"), 1);
    EXPECT_EQ(text("PRAGMA journal_mode"), "wal");
}

// The first commit of a launch does not wait for the disk (an empty log is synced, with its folder, when its
// first commit writes the log's header): a new file comes with its write-ahead log begun, and the log stays
// from one launch to the next with what it holds; closing waits for no disk either. A provider, or another
// connection, that finds the log reads the same.
TEST_F(SQLiteProviderTest, TheFirstCommitOfALaunchDoesNotWaitForTheDisk) {
    test::FullDiskVfs disk;
    for (const char* launch : {"new file", "existing file"}) {
        SCOPED_TRACE(launch);
        std::size_t afterCommit = 0;
        {
            SQLiteProvider provider = zqb::test::openDatabase();
            EXPECT_TRUE(fs::exists(file().string() + "-wal"));
            const std::size_t afterOpening = disk.syncs();
            EXPECT_TRUE(provider.insert("events", {{"code", SQLiteValue(std::string("ce"))}}));
            afterCommit = disk.syncs();
            EXPECT_EQ(afterCommit, afterOpening);
        }
        EXPECT_EQ(disk.syncs(), afterCommit);
    }
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder())) {
        names.insert(entry.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{"vorantel.db", "vorantel.db-shm", "vorantel.db-wal"}));
    EXPECT_EQ(scalar("SELECT count(*) FROM events"), 2);
    EXPECT_EQ(scalar("PRAGMA user_version"), 1);
}

// A journal, log or index left under the database's name without the database (a start cut short while a
// damaged file was moved aside) belongs to no file: the new file must not read it as its own.
TEST_F(SQLiteProviderTest, CompanionsWithoutTheirFileAreNotReadIntoANewOne) {
    fs::create_directories(folder());
    const fs::path other = folder() / "other.db";
    {
        // A log that SQLite would take for valid: frames of another file, kept at its closing.
        Connection connection(other.string());
        connection.execute("PRAGMA journal_mode=WAL");
        int keep = 1;
        sqlite3_file_control(connection.handle(), "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
        connection.execute(
            "CREATE TABLE events (unrelated BLOB); INSERT INTO events VALUES (zeroblob(9000))");
    }
    ASSERT_GT(fs::file_size(other.string() + "-wal"), 32u);
    fs::rename(other.string() + "-wal", file().string() + "-wal");
    std::ofstream(file().string() + "-journal") << "not a journal";
    test::LogCapture log(ZQBLogLevel::error);
    SQLiteProvider provider = zqb::test::openDatabase();
    EXPECT_EQ(log.texts(), std::vector<std::string>{});
    EXPECT_TRUE(provider.insert("events", {{"code", SQLiteValue(std::string("ce"))}}));
    EXPECT_EQ(tables().size(), stepZeroTables.size() + 1);
    EXPECT_EQ(columns("events"), (std::vector<std::string>{"id", "code", "userId", "eventJson"}));
    EXPECT_FALSE(fs::exists(file().string() + "-journal"));
}

// Two processes that open one damaged file at once both find it so. The second to move it aside finds in
// its place the new file the first put there, and records into: that file is healthy, and stays.
TEST_F(SQLiteProviderTest, AFileThatAnotherProcessPutInPlaceOfADamagedOneIsNotMovedAside) {
    { zqb::test::openDatabase().insert("events", {{"code", SQLiteValue(std::string("ce"))}}); }
    const fs::path healthy = folder() / "healthy.db";
    fs::rename(file(), healthy);
    fs::rename(file().string() + "-wal", healthy.string() + "-wal");
    fs::remove(file().string() + "-shm");
    std::ofstream(file(), std::ios::binary | std::ios::trunc) << std::string(8192, 'x');
    // The other process, about to move the damaged file aside.
    std::optional<host::FileLock> other(std::in_place, folder());
    test::LogCapture log(ZQBLogLevel::error);
    auto opening = std::async(std::launch::async, [] { return zqb::test::sharedDatabase(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!test::waitsForALock(getpid())) {
        ASSERT_NE(opening.wait_for(std::chrono::milliseconds(1)), std::future_status::ready)
            << "the damaged file was moved aside while another process was moving it";
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    }
    fs::rename(file(), folder() / "vorantel.db.damaged-by-the-other");
    fs::rename(healthy, file());
    fs::rename(healthy.string() + "-wal", file().string() + "-wal");
    struct stat placed {};
    ASSERT_EQ(::stat(file().c_str(), &placed), 0);
    other.reset();
    const auto provider = opening.get();
    EXPECT_EQ(provider->movedAside(), std::nullopt);
    EXPECT_EQ(log.texts(), std::vector<std::string>{});
    EXPECT_TRUE(provider->insert("events", {{"code", SQLiteValue(std::string("ce"))}}));
    struct stat now {};
    ASSERT_EQ(::stat(file().c_str(), &now), 0);
    EXPECT_EQ(now.st_ino, placed.st_ino);
    EXPECT_EQ(scalar("SELECT count(*) FROM events"), 2);
}

TEST_F(SQLiteProviderTest, WithoutASupportDirectoryTheInitialiserFailsWithCodeOne) {
    files->setApplicationSupportDirectory(fs::path());
    EXPECT_EQ(zqb::test::databaseFolder(), std::nullopt);
    try {
        SQLiteProvider provider = zqb::test::openDatabase();
        FAIL() << "opened";
    } catch (const SQLiteError& error) {
        EXPECT_STREQ(error.what(), "SQLite error (code: 1)");
    }
}

TEST_F(SQLiteProviderTest, AFolderThatCannotBeMadeFailsTheInitialiser) {
    std::ofstream(dir.path() / "plain") << "x";
    files->setApplicationSupportDirectory(dir.path() / "plain" / "support");
    EXPECT_THROW(zqb::test::openDatabase(), fs::filesystem_error);
}

TEST_F(SQLiteProviderTest, RowOperationsReportTheirResultsAndLogTheirFailures) {
    SQLiteProvider provider = zqb::test::openDatabase();
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
    EXPECT_EQ(log.texts().back(),
              "ERROR [Database Module] Error in inserting: SQLite error (code: 1): near \")\": syntax error");

    const ColumnMap tracking{{"trackingAvailable", sqliteBool(true)}, {"savedTime", SQLiteValue(int64_t{5})}};
    EXPECT_EQ(provider.update("projects", tracking, "id=?", {SQLiteValue(int64_t{2})}), 1);
    EXPECT_EQ(rows("SELECT trackingAvailable, savedTime FROM projects WHERE id = 2").at(0),
              (SQLiteRow{SQLiteValue(int64_t{1}), SQLiteValue(int64_t{5})}));
    EXPECT_EQ(provider.update("projects", tracking, "id=?", {SQLiteValue(int64_t{-1})}), 0);
    log.clear();
    EXPECT_EQ(provider.update("projects", tracking, "id=", {}), std::nullopt);
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{"ERROR [Database Module] Error in inserting: SQLite error "
                                       "(code: 1): incomplete input"});

    EXPECT_EQ(
        provider.deleteRows("projects", "id IN (?, ?)", {SQLiteValue(int64_t{1}), SQLiteValue(int64_t{9})}),
        1);
    EXPECT_EQ(provider.deleteRows("projects", "id=?", {SQLiteValue(int64_t{9})}), 0);
    log.clear();
    EXPECT_EQ(provider.deleteRows("missing", "id=?", {SQLiteValue(int64_t{9})}), 0);
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{
                  "ERROR [Database Module] Error in delete: SQLite error (code: 1): no such table: missing"});

    EXPECT_TRUE(provider.clear("projects"));
    EXPECT_EQ(scalar("SELECT count(*) FROM projects"), 0);
    log.clear();
    EXPECT_FALSE(provider.clear("missing"));
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{
                  "ERROR [Database Module] Error in delete: SQLite error (code: 1): no such table: missing"});

    log.clear();
    EXPECT_TRUE(provider.queryRows("missing", {}).empty());
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{
                  "ERROR [Database Module] Error in query: SQLite error (code: 1): no such table: missing"});
}

// Inserts of the same shape share one prepared statement: no value of an earlier insert may reach a later
// one, and a table dropped or rebuilt by another connection is met as a fresh statement would meet it.
TEST_F(SQLiteProviderTest, RepeatedInsertsCarryNoValuesOverAndFollowTheTableThroughChanges) {
    SQLiteProvider provider = zqb::test::openDatabase();
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
              std::vector<std::string>{"ERROR [Database Module] Error in inserting: SQLite error "
                                       "(code: 1): no such table: events"});

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

// The writer queue of a grouping provider, run by hand: what is posted there waits for `runPosted`, timers
// fire as `advance` moves the clock past them, and the clock moves only then.
class ManualWriter {
public:
    SQLiteProvider::WriterQueue queue() {
        SQLiteProvider::WriterQueue writer;
        writer.isCurrent = [this] { return onQueue; };
        writer.post = [this](std::function<void()> operation) { posted_.push_back(std::move(operation)); };
        writer.runAfter = [this](int64_t delayMs, std::function<void()> operation) {
            timers_.emplace(nowMs + delayMs, std::move(operation));
        };
        writer.now = [this] {
            return std::chrono::steady_clock::time_point(std::chrono::milliseconds(nowMs));
        };
        return writer;
    }
    std::size_t postedCount() const { return posted_.size(); }
    void runPosted() {
        auto operations = std::exchange(posted_, {});
        for (auto& operation : operations) {
            operation();
        }
    }
    // Timers run off the writer queue.
    void advance(int64_t ms) {
        const int64_t until = nowMs + ms;
        while (!timers_.empty() && timers_.begin()->first <= until) {
            auto due = timers_.extract(timers_.begin());
            nowMs = due.key();
            onQueue = false;
            due.mapped()();
            onQueue = true;
        }
        nowMs = until;
    }

    bool onQueue = true;
    int64_t nowMs = 0;

private:
    std::vector<std::function<void()>> posted_;
    std::multimap<int64_t, std::function<void()>> timers_;
};

ColumnMap eventRow(const std::string& json, const std::string& code = "ce") {
    return {
        {"code", SQLiteValue(code)}, {"userId", SQLiteValue(int64_t{1})}, {"eventJson", SQLiteValue(json)}};
}

// Writes on the writer queue share a transaction until the commit posted there runs; what another
// connection reads is only ever whole groups. Elsewhere, and for a provider nobody shares, each write
// commits at once.
TEST_F(SQLiteProviderTest, WritesOnTheWriterQueueCommitTogetherWhenItsPostedCommitRuns) {
    const auto count = [&] { return scalar("SELECT COUNT(*) FROM events"); };
    ManualWriter writer;
    auto provider = zqb::test::sharedDatabase();
    provider->groupWritesOn(writer.queue());

    EXPECT_EQ(provider->insert("events", eventRow("{\"n\":1}")), 1);
    EXPECT_EQ(provider->insert("events", eventRow("{\"n\":2}")), 2);
    EXPECT_EQ(writer.postedCount(), 1u);
    EXPECT_EQ(count(), 0);
    // The provider reads its own group.
    EXPECT_EQ(provider->queryRows("events", {}).size(), 2u);
    writer.runPosted();
    EXPECT_EQ(count(), 2);

    // Off the writer queue: on its own, at once.
    writer.onQueue = false;
    EXPECT_EQ(provider->insert("events", eventRow("{\"n\":3}")), 3);
    EXPECT_EQ(writer.postedCount(), 0u);
    EXPECT_EQ(count(), 3);

    // A group still open when the provider goes is committed, not dropped; its commit then does nothing.
    writer.onQueue = true;
    EXPECT_EQ(provider->insert("events", eventRow("{\"n\":4}")), 4);
    provider.reset();
    EXPECT_EQ(count(), 4);
    writer.runPosted();

    SQLiteProvider unshared = zqb::test::openDatabase();
    unshared.groupWritesOn(writer.queue());
    EXPECT_EQ(unshared.insert("events", eventRow("{}")), 5);
    EXPECT_EQ(writer.postedCount(), 0u);
    EXPECT_EQ(count(), 5);
}

// A writer queue busy with other work does not hold a group back: once the group is as old as the window,
// the next write commits it, or its timer does when nothing writes.
TEST_F(SQLiteProviderTest, AGroupIsInTheFileOnceItIsAsOldAsTheWindow) {
    const auto count = [&] { return scalar("SELECT COUNT(*) FROM events"); };
    ManualWriter writer;
    auto provider = zqb::test::sharedDatabase();
    auto queue = writer.queue();
    queue.windowMilliseconds = 100;
    provider->groupWritesOn(std::move(queue));

    provider->insert("events", eventRow("{\"n\":1}"));
    writer.advance(60);
    provider->insert("events", eventRow("{\"n\":2}"));
    EXPECT_EQ(count(), 0);
    writer.advance(40);
    EXPECT_EQ(count(), 2);

    provider->insert("events", eventRow("{\"n\":3}"));
    writer.nowMs += 100;  // the timer has not fired yet
    provider->insert("events", eventRow("{\"n\":4}"));
    EXPECT_EQ(count(), 4);
    writer.runPosted();
    writer.advance(1000);
    EXPECT_EQ(count(), 4);
}

// A writer held (the start-up, until the keychain has the identifiers its rows carry) keeps its group out of
// the file, also when the group's timer commits it on its own thread; once the hold is let go, that commit
// goes on, and later groups commit as before.
TEST_F(SQLiteProviderTest, NoGroupReachesTheFileBeforeTheWritersHoldIsLetGo) {
    const auto count = [&] { return scalar("SELECT COUNT(*) FROM events"); };
    ManualWriter writer;
    std::promise<void> hold;
    auto provider = zqb::test::sharedDatabase();
    auto queue = writer.queue();
    queue.windowMilliseconds = 100;
    queue.heldUntil = hold.get_future().share();
    provider->groupWritesOn(std::move(queue));

    provider->insert("events", eventRow("{\"n\":1}"));
    auto timer = std::async(std::launch::async, [&] { writer.advance(100); });
    // A bound on how long the commit is given to run ahead of the hold, not a measurement.
    EXPECT_EQ(timer.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_EQ(count(), 0);
    hold.set_value();
    timer.get();
    EXPECT_EQ(count(), 1);

    provider->insert("events", eventRow("{\"n\":2}"));
    writer.runPosted();
    EXPECT_EQ(count(), 2);
}

// SQLite keeps every page a group dirties until its commit: a backlog's writes are committed a thousand at a
// time, so that the pages kept stay a few hundred kilobytes while it is written, not megabytes, and as few
// once it is.
TEST_F(SQLiteProviderTest, ABacklogsGroupsKeepAFewPagesInMemory) {
    ManualWriter writer;
    auto provider = zqb::test::sharedDatabase();
    provider->groupWritesOn(writer.queue());
    provider->insert("events", eventRow("{\"n\":0}"));
    writer.runPosted();
    const int64_t opened = sqlite3_memory_used();
    constexpr int kRows = 20'000;
    const std::string text = "{\"code\":\"ce\",\"name\":\"" + std::string(180, 'x') + "\"}";
    int64_t duringGroup = 0;
    for (int index = 0; index < kRows; ++index) {
        provider->insert("events", eventRow(text));
        duringGroup = std::max<int64_t>(duringGroup, sqlite3_memory_used());
    }
    writer.runPosted();
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM events"), kRows + 1);
    EXPECT_LT(duringGroup - opened, 1024 * 1024);
    EXPECT_LT(sqlite3_memory_used() - opened, 1024 * 1024);
}

// SQLite rolls the whole transaction back for some failures (here a trigger asks it to). What the group
// wrote before comes back with its row ids, the failing write alone is lost, and no row id is given twice.
TEST_F(SQLiteProviderTest, AWriteThatMakesSQLiteRollTheGroupBackLosesOnlyItself) {
    { SQLiteProvider provider = zqb::test::openDatabase(); }
    execute(
        "CREATE TRIGGER refuse BEFORE INSERT ON events WHEN new.code = 'bad' BEGIN SELECT RAISE(ROLLBACK, "
        "'refused'); END");
    ManualWriter writer;
    auto provider = zqb::test::sharedDatabase();
    provider->groupWritesOn(writer.queue());
    EXPECT_EQ(provider->insert("events", eventRow("{\"n\":1}")), 1);
    EXPECT_EQ(provider->insert("events", eventRow("{\"n\":2}")), 2);
    EXPECT_EQ(provider->insert("events", eventRow("{\"n\":3}")), 3);
    // A deletion by ids runs through a cached statement, as inserts do: both are repeated from the journal.
    EXPECT_EQ(provider->deleteWhereIn("events", "id", std::vector<int64_t>{2}), 1);

    test::LogCapture log(ZQBLogLevel::error);
    EXPECT_EQ(provider->insert("events", eventRow("{}", "bad")), std::nullopt);
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{"ERROR [Database Module] Error in inserting: refused (code: 19)"});
    EXPECT_EQ(provider->insert("events", eventRow("{\"n\":4}")), 4);
    EXPECT_EQ(provider->queryRows("events", {}).size(), 3u);
    writer.runPosted();
    EXPECT_EQ(texts("SELECT eventJson FROM events ORDER BY id"),
              (std::vector<std::string>{"{\"n\":1}", "{\"n\":3}", "{\"n\":4}"}));
    EXPECT_EQ(text("SELECT group_concat(id) FROM (SELECT id FROM events ORDER BY id)"), "1,3,4");
    EXPECT_EQ(log.texts().size(), 1u);
}

// A full disk makes the commit fail, and SQLite rolls the group back. Nothing committed before is lost;
// the group's journal is replayed and what reads the database sees it; the failure is logged once; the
// commit is tried again after a pause (not at every burst), and at once when asked to make everything
// durable; once space returns, every write of the group is in the file with the row id it was given,
// deletions included.
TEST_F(SQLiteProviderTest, ACommitOnAFullDiskLosesNothingIsLoggedOnceAndPassesOnceSpaceReturns) {
    test::FullDiskVfs disk;
    ManualWriter writer;
    auto provider = zqb::test::sharedDatabase();
    provider->groupWritesOn(writer.queue());
    provider->insert("events", eventRow("{\"n\":1}"));
    provider->insert("events", eventRow("{\"n\":2}"));
    writer.runPosted();
    const auto fileIds = [&] {
        std::vector<int64_t> ids;
        for (const auto& row : rows("SELECT id FROM events ORDER BY id")) {
            ids.push_back(std::get<int64_t>(*row.at(0)));
        }
        return ids;
    };
    const auto providerIds = [&] {
        std::vector<int64_t> ids;
        for (const auto& row : provider->queryRows("events", {})) {
            ids.push_back(std::get<int64_t>(*row.at(0)));
        }
        return ids;
    };

    test::LogCapture log(ZQBLogLevel::error);
    disk.setFull(true);
    EXPECT_EQ(provider->insert("events", eventRow("{\"n\":3}")), 3);
    EXPECT_EQ(provider->deleteRows("events", "id IN (?)", {SQLiteValue(int64_t{1})}), 1);
    writer.runPosted();
    EXPECT_GT(disk.refusedWrites(), 0u);
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{
                  "ERROR [Database Module] Error in inserting: database or disk is full (code: 13)"});
    EXPECT_EQ(fileIds(), (std::vector<int64_t>{1, 2}));
    EXPECT_EQ(providerIds(), (std::vector<int64_t>{2, 3}));
    EXPECT_EQ(provider->insert("events", eventRow("{\"n\":4}")), 4);

    // Within the pause, the commit that write posted does not try again.
    auto refused = disk.refusedWrites();
    writer.runPosted();
    EXPECT_EQ(disk.refusedWrites(), refused);
    // After it, the retry does, and a second failure is not logged again.
    writer.advance(WriteGroup::minimumRetryMilliseconds);
    writer.runPosted();
    EXPECT_GT(disk.refusedWrites(), refused);
    EXPECT_EQ(log.texts().size(), 1u);
    EXPECT_EQ(providerIds(), (std::vector<int64_t>{2, 3, 4}));

    disk.setFull(false);
    provider->commitWrites();
    EXPECT_EQ(fileIds(), (std::vector<int64_t>{2, 3, 4}));
    EXPECT_EQ(texts("SELECT eventJson FROM events ORDER BY id"),
              (std::vector<std::string>{"{\"n\":2}", "{\"n\":3}", "{\"n\":4}"}));
    writer.advance(WriteGroup::maximumRetryMilliseconds);
    writer.runPosted();
    EXPECT_EQ(provider->insert("events", eventRow("{\"n\":5}")), 5);
    writer.runPosted();
    EXPECT_EQ(fileIds(), (std::vector<int64_t>{2, 3, 4, 5}));
    EXPECT_EQ(log.texts().size(), 1u);
}

// The provider's row operations never throw, also when what they call on fails for want of memory: here the
// timer that would try a failed commit again cannot be set. The failure is logged, the write stays in the
// group, and the next commit puts it in the file.
TEST_F(SQLiteProviderTest, MakingWritesDurableNeverThrowsWhenTheRetryOfAFailedCommitCannotBeSet) {
    test::FullDiskVfs disk;
    ManualWriter writer;
    bool timersFail = false;
    auto queue = writer.queue();
    queue.runAfter = [&timersFail, runAfter = queue.runAfter](int64_t delayMs,
                                                              std::function<void()> operation) {
        if (timersFail) {
            throw std::bad_alloc();
        }
        runAfter(delayMs, std::move(operation));
    };
    auto provider = zqb::test::sharedDatabase();
    provider->groupWritesOn(std::move(queue));
    EXPECT_EQ(provider->insert("events", eventRow("{\"n\":1}")), 1);

    test::LogCapture log(ZQBLogLevel::error);
    disk.setFull(true);
    timersFail = true;
    EXPECT_NO_THROW(provider->commitWrites());
    EXPECT_EQ(log.texts(),
              (std::vector<std::string>{
                  "ERROR [Database Module] Error in inserting: database or disk is full (code: 13)",
                  "ERROR [Database Module] Error in inserting: std::bad_alloc"}));
    EXPECT_EQ(provider->queryRows("events", {}).size(), 1u);

    disk.setFull(false);
    timersFail = false;
    provider->commitWrites();
    EXPECT_EQ(texts("SELECT eventJson FROM events ORDER BY id"), std::vector<std::string>{"{\"n\":1}"});
}

// A provider closes with one last attempt at its group's commit. On a full disk the attempt fails for good:
// the group is rolled back, so that the file keeps what was committed before it, unchanged, and one ERROR
// says how many writes were lost, also when the failure was logged before. Closed for good while others
// still hold it, the provider lets the file go at once and refuses every later operation with its ERROR.
TEST_F(SQLiteProviderTest, AProviderClosedOnAFullDiskSaysHowManyWritesItLostAndKeepsWhatWasCommitted) {
    test::FullDiskVfs disk;
    const auto openDescriptors = [&] {
        std::size_t count = 0;
        for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
            std::error_code ignored;
            count += fs::read_symlink(entry.path(), ignored) == file() ? 1 : 0;
        }
        return count;
    };
    ManualWriter writer;
    auto provider = zqb::test::sharedDatabase();
    provider->groupWritesOn(writer.queue());
    provider->insert("events", eventRow("{\"n\":1}"));
    provider->insert("events", eventRow("{\"n\":2}"));
    writer.runPosted();
    const std::vector<std::string> committed{"{\"n\":1}", "{\"n\":2}"};

    test::LogCapture log(ZQBLogLevel::error);
    const std::string full =
        "ERROR [Database Module] Error in inserting: database or disk is full (code: 13)";
    disk.setFull(true);
    EXPECT_EQ(provider->insert("events", eventRow("{\"n\":3}")), 3);
    EXPECT_EQ(provider->update("events", {{"eventJson", SQLiteValue(std::string("{}"))}}, "id = ?",
                               {SQLiteValue(int64_t{1})}),
              1);
    EXPECT_EQ(provider->deleteWhereIn("events", "id", std::vector<int64_t>{2}), 1);
    writer.runPosted();
    EXPECT_EQ(log.texts(), std::vector<std::string>{full});
    provider.reset();
    EXPECT_EQ(log.texts(),
              (std::vector<std::string>{
                  full, full + "; closing the database lost the 3 writes that were not committed"}));
    writer.runPosted();
    writer.advance(WriteGroup::maximumRetryMilliseconds);
    disk.setFull(false);
    EXPECT_EQ(texts("SELECT eventJson FROM events ORDER BY id"), committed);
    EXPECT_EQ(text("PRAGMA integrity_check"), "ok");

    // The first failure is the close's: one line.
    log.clear();
    provider = zqb::test::sharedDatabase();
    provider->groupWritesOn(writer.queue());
    EXPECT_EQ(provider->insert("events", eventRow("{\"n\":4}")), 3);
    disk.setFull(true);
    const auto holder = provider;
    provider->closeForGood();
    EXPECT_EQ(log.texts(), std::vector<std::string>{
                               full + "; closing the database lost the 1 write that was not committed"});
    EXPECT_EQ(openDescriptors(), 0u);
    disk.setFull(false);

    log.clear();
    EXPECT_EQ(holder->insert("events", eventRow("{\"n\":5}")), std::nullopt);
    EXPECT_EQ(holder->deleteWhereIn("events", "id", std::vector<int64_t>{1}), std::nullopt);
    EXPECT_TRUE(holder->queryRows("events", {}).empty());
    holder->commitWrites();
    writer.runPosted();
    writer.advance(WriteGroup::maximumRetryMilliseconds);
    provider.reset();
    EXPECT_EQ(log.texts(),
              (std::vector<std::string>{
                  "ERROR [Database Module] Error in inserting: the database is closed (code: 21)",
                  "ERROR [Database Module] Error in delete: the database is closed (code: 21)",
                  "ERROR [Database Module] Error in query: the database is closed (code: 21)"}));
    EXPECT_EQ(texts("SELECT eventJson FROM events ORDER BY id"), committed);
}

TEST_F(SQLiteProviderTest, SchemaConstraintsAndDefaultsHold) {
    SQLiteProvider provider = zqb::test::openDatabase();
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
    SQLiteProvider provider = zqb::test::openDatabase();
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

std::vector<int64_t> ids(int64_t first, int64_t last) {
    std::vector<int64_t> values;
    for (int64_t id = first; id <= last; ++id) {
        values.push_back(id);
    }
    return values;
}

class BigDeleteTest : public SQLiteProviderTest {
protected:
    void fill(int64_t count) {
        { SQLiteProvider provider = zqb::test::openDatabase(); }
        Connection connection(file().string());
        connection.execute("BEGIN");
        Statement insert(connection, "INSERT INTO events (code, userId, eventJson) VALUES ('ce', 1, '{}')");
        for (int64_t index = 0; index < count; ++index) {
            insert.run();
        }
        connection.execute("COMMIT");
    }

    // Deletes, for each count, that many ids of every other row from `next` on (the rows between them
    // stay): each deletion takes its own rows, counted once. Moves `next` past them and lowers `left`.
    void deleteEveryOther(SQLiteProvider& provider, const std::vector<int64_t>& counts, int64_t& next,
                          int64_t& left) {
        for (const int64_t count : counts) {
            std::vector<int64_t> values;
            for (int64_t index = 0; index < count; ++index) {
                values.push_back(next + 2 * index);
            }
            EXPECT_EQ(provider.deleteWhereIn("events", "id", values), count) << count;
            left -= count;
            EXPECT_EQ(scalar("SELECT count(*) FROM events"), left) << count;
            EXPECT_EQ(scalar("SELECT count(*) FROM events WHERE id BETWEEN " + std::to_string(next) +
                             " AND " + std::to_string(next + 2 * count - 1)),
                      count)
                << count;
            next += 2 * count;
        }
    }
};

TEST_F(BigDeleteTest, MoreIdsThanOneStatementMayBindAreAllDeleted) {
    fill(80000);
    SQLiteProvider provider = zqb::test::openDatabase();
    // One id matches nothing.
    auto values = ids(1, 40000);
    values.push_back(999999);
    EXPECT_EQ(provider.deleteWhereIn("events", "id", values), 40000);
    EXPECT_EQ(provider.deleteWhereIn("events", "id", ids(40001, 75000)), 35000);
    EXPECT_EQ(provider.deleteWhereIn("events", "id", {}), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM events"), 5000);
    EXPECT_EQ(scalar("SELECT min(id) FROM events"), 75001);
}

// Deletions of up to a thousand ids run through statements shared by many counts, whose lists repeat the
// last id: each deletes its own rows, counted once, around every size where the statement changes; and
// repeated from the journal after SQLite rolled its group back, it deletes the same rows again.
TEST_F(BigDeleteTest, EveryCountOfIdsDeletesItsOwnRowsAlsoWhenItsGroupIsRepeated) {
    fill(8000);
    int64_t next = 1;
    int64_t left = 8000;
    {
        SQLiteProvider provider = zqb::test::openDatabase();
        deleteEveryOther(provider, {1, 2, 63, 64, 65, 100, 127, 128, 129, 1000, 1024, 1025}, next, left);
    }

    test::FullDiskVfs disk;
    ManualWriter writer;
    auto provider = zqb::test::sharedDatabase();
    provider->groupWritesOn(writer.queue());
    provider->insert("events", eventRow("{}"));
    test::LogCapture log(ZQBLogLevel::error);
    disk.setFull(true);
    EXPECT_EQ(provider->deleteWhereIn("events", "id", ids(next, next + 99)), 100);
    writer.runPosted();
    EXPECT_GT(disk.refusedWrites(), 0u);
    EXPECT_EQ(scalar("SELECT count(*) FROM events"), left);
    disk.setFull(false);
    provider->commitWrites();
    EXPECT_EQ(scalar("SELECT count(*) FROM events"), left - 100 + 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM events WHERE id BETWEEN " + std::to_string(next) + " AND " +
                     std::to_string(next + 99)),
              0);
}

// A host's SQLite may let one statement hold less (a build with lower maximums, or limits the host lowers
// on each connection): every deletion stays within what the connection allows, whatever its count.
TEST_F(BigDeleteTest, EveryCountOfIdsStaysWithinTheLowerLimitsOfTheConnection) {
    fill(24000);
    int64_t next = 1;
    int64_t left = 24000;
    {
        test::ConnectionLimits limits({{SQLITE_LIMIT_VARIABLE_NUMBER, 999}});
        SQLiteProvider provider = zqb::test::openDatabase();
        deleteEveryOther(provider, {65, 512, 513, 600, 998, 999, 1000, 1024, 1025, 2000}, next, left);
    }
    {
        // A text of at most 1,000 characters holds some 320 values.
        test::ConnectionLimits limits({{SQLITE_LIMIT_SQL_LENGTH, 1000}});
        SQLiteProvider provider = zqb::test::openDatabase();
        deleteEveryOther(provider, {64, 200, 300, 330, 400, 1000}, next, left);
    }
}

TEST_F(BigDeleteTest, AChunkedDeleteThatFailsDeletesNothing) {
    fill(40000);
    execute(
        "CREATE TRIGGER refuse BEFORE DELETE ON events WHEN old.id = 39000 BEGIN SELECT RAISE(ABORT, "
        "'refused'); END");
    SQLiteProvider provider = zqb::test::openDatabase();
    test::LogCapture log(ZQBLogLevel::error);
    const auto values = ids(1, 40000);
    EXPECT_EQ(provider.deleteWhereIn("events", "id", values), std::nullopt);
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{"ERROR [Database Module] Error in delete: refused (code: 19)"});
    EXPECT_EQ(scalar("SELECT count(*) FROM events"), 40000);
}

TEST_F(SQLiteProviderTest, ConcurrentInsertsEachGetTheirOwnRowId) {
    SQLiteProvider provider = zqb::test::openDatabase();
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
