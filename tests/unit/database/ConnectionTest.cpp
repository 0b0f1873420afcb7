#include "database/Connection.hpp"
#include "database/EmptyStatementError.hpp"
#include "database/SQLiteError.hpp"
#include "database/Statement.hpp"
#include "support/LogCapture.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace zqb {
namespace {

class ConnectionTest : public ::testing::Test {
protected:
    std::string path() const { return (dir.path() / "test.db").string(); }
    test::TempDir dir;
};

int64_t scalar(Connection& connection, const std::string& sql) {
    Statement statement(connection, sql);
    EXPECT_TRUE(statement.step());
    return std::get<int64_t>(*statement.cursor().value(0));
}

TEST_F(ConnectionTest, OpeningCreatesTheFileAndLogsAtDebug) {
    test::LogCapture log;
    Connection connection(path());
    EXPECT_TRUE(std::filesystem::exists(path()));
    EXPECT_EQ(log.texts(),
              std::vector<std::string>{
                  "DEBUG [Database Module] Successfully opened connection to database at " + path()});
}

TEST_F(ConnectionTest, OpeningInAMissingFolderFailsWithTheSQLiteCode) {
    try {
        Connection connection((dir.path() / "missing" / "test.db").string());
        FAIL() << "opened";
    } catch (const SQLiteError& error) {
        EXPECT_EQ(error.message(), "SQLite error");
        EXPECT_EQ(error.code(), SQLITE_CANTOPEN);
        EXPECT_STREQ(error.what(), "SQLite error (code: 14): unable to open database file");
    }
}

TEST_F(ConnectionTest, ExecuteRunsEveryStatementButAStatementPreparesOnlyTheFirst) {
    Connection connection(path());
    connection.execute("CREATE TABLE a (x INTEGER); CREATE TABLE b (x INTEGER);");
    EXPECT_EQ(scalar(connection, "SELECT count(*) FROM sqlite_master WHERE type = 'table'"), 2);

    Statement(connection, "INSERT INTO a VALUES (1); INSERT INTO b VALUES (2);").run();
    EXPECT_EQ(scalar(connection, "SELECT count(*) FROM a"), 1);
    EXPECT_EQ(scalar(connection, "SELECT count(*) FROM b"), 0);
}

TEST_F(ConnectionTest, FailuresCarryTheirMessageAndCode) {
    Connection connection(path());
    connection.execute("CREATE TABLE t (x INTEGER UNIQUE)");
    connection.execute("INSERT INTO t VALUES (1)");
    try {
        connection.execute("INSERT INTO t VALUES (1)");
        FAIL();
    } catch (const SQLiteError& error) {
        EXPECT_EQ(error.code(), SQLITE_CONSTRAINT);
        EXPECT_EQ(error.message(), "UNIQUE constraint failed: t.x");
    }
    // Preparing reports the fixed message with SQLite's code, then SQLite's text.
    try {
        Statement statement(connection, "SELEKT 1");
        FAIL();
    } catch (const SQLiteError& error) {
        EXPECT_STREQ(error.what(), "SQLite error (code: 1): near \"SELEKT\": syntax error");
    }
    Statement insert(connection, "INSERT INTO t VALUES (?)", {SQLiteValue(int64_t{1})});
    EXPECT_THROW(insert.run(), SQLiteError);
    EXPECT_THROW(Statement(connection, "   "), EmptyStatementError);
    EXPECT_THROW(Statement(connection, ""), EmptyStatementError);
    EXPECT_THROW(connection.execute("SELECT * FROM missing"), SQLiteError);
}

TEST_F(ConnectionTest, ErrorDescriptionNamesTheStatementWhenItHasOne) {
    EXPECT_EQ(SQLiteError("oops", 5).description(), "oops (code: 5)");
    EXPECT_EQ(SQLiteError("oops", 5, "SELECT 1").description(), "oops (SELECT 1) (code: 5)");
    EXPECT_TRUE(SQLiteError::isSuccessCode(SQLITE_OK));
    EXPECT_TRUE(SQLiteError::isSuccessCode(SQLITE_ROW));
    EXPECT_TRUE(SQLiteError::isSuccessCode(SQLITE_DONE));
    EXPECT_FALSE(SQLiteError::isSuccessCode(SQLITE_BUSY));
}

TEST_F(ConnectionTest, ValuesBindAndReadBackByStorageClass) {
    Connection connection(path());
    connection.execute("CREATE TABLE t (a, b, c, d, e, f)");
    const std::string text("caf\xC3\xA9 \xF0\x9F\x8E\xAE with\0nul", 18);
    Statement(connection, "INSERT INTO t VALUES (?, ?, ?, ?, ?, ?)",
              {std::nullopt, SQLiteValue(int64_t{INT64_MIN}), SQLiteValue(0.25), SQLiteValue(text),
               sqliteBool(true), sqliteBool(false)})
        .run();

    Statement select(connection, "SELECT * FROM t");
    ASSERT_TRUE(select.step());
    const Cursor& cursor = select.cursor();
    EXPECT_EQ(cursor.columnCount(), 6);
    EXPECT_EQ(cursor.row(), (SQLiteRow{std::nullopt, SQLiteValue(int64_t{INT64_MIN}), SQLiteValue(0.25),
                                       SQLiteValue(text), SQLiteValue(int64_t{1}), SQLiteValue(int64_t{0})}));
    // Text only from TEXT columns: no conversion of numbers or NULL.
    EXPECT_EQ(cursor[0], std::nullopt);
    EXPECT_EQ(cursor[1], std::nullopt);
    EXPECT_EQ(cursor[3], text);
    EXPECT_EQ(cursor[6], std::nullopt);
    EXPECT_EQ(cursor.value(-1), std::nullopt);
    EXPECT_FALSE(select.step());
}

TEST_F(ConnectionTest, BlobsAndMalformedTextFromForeignWritersAreReadSafely) {
    Connection connection(path());
    connection.execute("CREATE TABLE t (a, b); INSERT INTO t VALUES (x'0102', CAST(x'61FF62' AS TEXT))");
    Statement select(connection, "SELECT * FROM t");
    ASSERT_TRUE(select.step());
    EXPECT_EQ(select.cursor().value(0), std::nullopt);
    EXPECT_EQ(select.cursor()[1],
              "a\xEF\xBF\xBD"
              "b");
}

TEST_F(ConnectionTest, BindingAnEmptyListKeepsEarlierBindingsAndAWrongCountBindsNothing) {
    Connection connection(path());
    connection.execute("CREATE TABLE t (x)");
    Statement insert(connection, "INSERT INTO t VALUES (?)", {SQLiteValue(int64_t{7})});
    insert.run();
    insert.bind({}).run();
    try {
        insert.bind({SQLiteValue(int64_t{1}), SQLiteValue(int64_t{2})});
        FAIL();
    } catch (const SQLiteError& error) {
        EXPECT_EQ(error.code(), SQLITE_RANGE);
        EXPECT_EQ(error.message(), "1 values expected, 2 passed");
    }
    insert.run();
    insert.run({SQLiteValue(std::string("eight"))});
    Statement select(connection, "SELECT group_concat(x, ',') FROM t");
    ASSERT_TRUE(select.step());
    EXPECT_EQ(select.cursor()[0], "7,7,7,eight");
    EXPECT_THROW(Statement(connection, "SELECT ?", {SQLiteValue(1.0), SQLiteValue(2.0)}), SQLiteError);
}

TEST_F(ConnectionTest, DescriptionIsTheStatementText) {
    Connection connection(path());
    EXPECT_EQ(Statement(connection, "SELECT 1; SELECT 2").description(), "SELECT 1;");
}

TEST_F(ConnectionTest, SerialisationIsReentrantOnItsThreadAndExclusiveAcrossThreads) {
    Connection connection(path());
    connection.execute("CREATE TABLE t (x)");
    // Nested use on the holding thread runs directly instead of waiting on itself.
    const int64_t id = connection.serialized([&] {
        Statement(connection, "INSERT INTO t VALUES (1)").run();
        return connection.serialized([&] { return connection.lastInsertRowId(); });
    });
    EXPECT_EQ(id, 1);

    std::atomic<bool> inside{false};
    std::atomic<bool> overlapped{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                connection.serialized([&] {
                    if (inside.exchange(true)) {
                        overlapped = true;
                    }
                    Statement(connection, "INSERT INTO t VALUES (2)").run();
                    inside = false;
                });
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(scalar(connection, "SELECT count(*) FROM t"), 801);
}

// A lock another connection holds (an index it rebuilds, a read it begins) is tried again within a fraction
// of a millisecond at first, where SQLite's own handler waits 1 ms, then 2, 5 and 10, and given up once the
// whole time-out is spent. A statement that meets such a lock waits for it.
TEST_F(ConnectionTest, ALockHeldElsewhereIsTriedAgainSoonAndGivenUpAfterTheTimeOut) {
    using std::chrono::microseconds;
    microseconds waited{0};
    int triesInTheFirstMillisecond = 0;
    for (int attempt = 0; const auto wait = Connection::lockWait(attempt); ++attempt) {
        waited += *wait;
        triesInTheFirstMillisecond += waited <= std::chrono::milliseconds(1) ? 1 : 0;
    }
    EXPECT_GE(triesInTheFirstMillisecond, 5);
    EXPECT_EQ(waited, std::chrono::milliseconds(Connection::busyTimeoutMilliseconds));

    Connection holder(path());
    holder.execute("CREATE TABLE t (x); BEGIN EXCLUSIVE; INSERT INTO t VALUES (1)");
    Connection waiter(path());
    std::atomic<bool> waiting{false};
    std::thread release([&] {
        while (!waiting) {
            std::this_thread::yield();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        holder.execute("COMMIT");
    });
    waiting = true;
    EXPECT_NO_THROW(waiter.execute("INSERT INTO t VALUES (2)"));
    release.join();
    EXPECT_EQ(scalar(waiter, "SELECT count(*) FROM t"), 2);
}

}  // namespace
}  // namespace zqb
