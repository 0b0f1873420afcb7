#include "database/SQLiteProvider.hpp"

#include "database/Connection.hpp"
#include "database/SQLiteContracts.hpp"
#include "database/SQLiteError.hpp"
#include "database/SQLiteProviderSupport.hpp"
#include "database/SchemaRepair.hpp"
#include "database/Statement.hpp"
#include "foundation/Logger.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <string_view>

namespace zqb {

using provider_support::UnusableFile;

namespace {

void rollbackQuietly(Connection& connection) {
    try {
        connection.execute("ROLLBACK");
    } catch (const std::exception&) {
    }
}

// Runs a change of the schema in one transaction: a launch interrupted half-way leaves the file as it was,
// and the next launch starts over. A statement that the file's own schema refuses (a name taken by something
// else) would fail at every launch, so the file cannot serve; one that failed for want of space or a lock may
// pass next time.
template <typename Change>
void changeSchema(Connection& connection, Change&& change) {
    connection.execute("BEGIN IMMEDIATE");
    try {
        change();
        connection.execute("COMMIT");
    } catch (const SQLiteError& error) {
        rollbackQuietly(connection);
        if ((error.code() & 0xff) == SQLITE_ERROR) {
            throw UnusableFile(error.what(), "damaged");
        }
        throw;
    } catch (...) {
        rollbackQuietly(connection);
        throw;
    }
}

}  // namespace

void SQLiteProvider::configure() {
    // One autocommit write per stored event: WAL with NORMAL sync makes those about thirty times cheaper and
    // still never corrupts the file; a power cut may only lose the last commits. These are also the first
    // statements to read the file, so a file that is not a database fails here. The level comes first: on a
    // new file the switch to WAL is itself a write, and at the default level it costs one sync more.
    database_->execute("PRAGMA synchronous=NORMAL");
    database_->execute("PRAGMA journal_mode=WAL");
    // The log outlives the connection, with what it holds, as it does when the process exits without
    // closing: a log begun afresh has its header synced, with the folder, by its first commit, and the first
    // event of every launch would wait for the disk twice; kept, that commit only appends. What the log holds
    // reaches the disk at its checkpoints (each ~4 MB written), which closing no longer adds to: the next
    // opening reads the log back.
    int keep = 1;
    sqlite3_file_control(database_->handle(), "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
    sqlite3_db_config(database_->handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    // A group's changes stay in memory until its COMMIT: no statement inside it fails for lack of space,
    // and a full disk costs at most the commit, which is then tried again.
    database_->execute("PRAGMA cache_spill=OFF");
    // Pages kept once a group is committed: the writes touch the ends of a few tables and the reads are
    // rare (the repositories keep what they read), so 512 KiB serve them as well as the usual 2 MB. The
    // pages a group dirties are kept, whatever their number, until its commit, which comes after a few
    // hundred kilobytes of them at the most (`WriteGroup::mostWritesPerGroup`).
    database_->execute("PRAGMA cache_size=-512");
    // A file opened read-only (its mode, or a read-only file system) would refuse every write later on.
    if (sqlite3_db_readonly(database_->handle(), "main") == 1) {
        throw SQLiteError("attempt to write a readonly database", SQLITE_READONLY);
    }
}

int SQLiteProvider::getSchemeVersion() {
    try {
        Statement statement(*database_, "PRAGMA user_version");
        statement.reset();
        while (statement.step()) {
            if (const auto version = rowInteger(statement.cursor().row(), 0)) {
                return static_cast<int>(*version);
            }
        }
    } catch (const std::exception&) {
    }
    return 0;
}

void SQLiteProvider::updateSchemeVersion(int version) {
    database_->execute("PRAGMA user_version = " + std::to_string(version));
}

void SQLiteProvider::migrate() {
    database_->serialized([&] {
        const int version = getSchemeVersion();
        if (version == SQLiteContracts::currentVersion) {
            repairSchema(true);
            return;
        }
        if (version == 2) {
            updateSchemeVersion(SQLiteContracts::currentVersion);
            repairSchema(false);
            return;
        }
        if (version > 2) {
            // A layout this library does not know: its rows cannot be read by position. It goes aside whole
            // rather than be written into.
            throw UnusableFile("Unsupported database version " + std::to_string(version),
                               "unsupported-version-" + std::to_string(version));
        }
        // All steps and the version at once.
        changeSchema(*database_, [&] {
            for (const auto& step : SQLiteContracts::map()) {
                runStep(*database_, step);
            }
            updateSchemeVersion(SQLiteContracts::currentVersion);
        });
        repairSchema(true);
    });
}

void SQLiteProvider::runStep(Connection& connection, const std::vector<std::string>& statements) {
    static constexpr std::string_view alter = "ALTER TABLE ";
    static constexpr std::string_view addColumn = " ADD COLUMN ";
    for (const auto& statement : statements) {
        // A column is added only when missing, so that a file that already has it still opens.
        if (statement.rfind(alter, 0) == 0) {
            const auto add = statement.find(addColumn);
            if (add != std::string::npos) {
                const std::string table = statement.substr(alter.size(), add - alter.size());
                const auto columnStart = add + addColumn.size();
                const std::string column =
                    statement.substr(columnStart, statement.find(' ', columnStart) - columnStart);
                if (hasColumn(connection, table, column)) {
                    continue;
                }
            }
        }
        connection.execute(statement);
    }
}

std::vector<std::string> SQLiteProvider::columnsOf(Connection& connection, const std::string& table) {
    std::vector<std::string> columns;
    Statement statement(connection, "PRAGMA table_info(" + table + ")");
    while (statement.step()) {
        if (auto name = statement.cursor()[1]) {
            columns.push_back(std::move(*name));
        }
    }
    return columns;
}

bool SQLiteProvider::hasColumn(Connection& connection, const std::string& table, const std::string& column) {
    const auto columns = columnsOf(connection, table);
    return std::find(columns.begin(), columns.end(), column) != columns.end();
}

void SQLiteProvider::repairSchema(bool everyTable) {
    // Rows are read by column position: a table whose leading columns differ from this library's would be
    // read wrongly or refuse every write. What only lacks a table or trailing columns is mended in place, so
    // that the file keeps its users, flags, events and reports; columns after the schema's are left alone.
    if (SchemaRepair::madeByTheSchemaStatements(*database_)) {
        return;
    }
    std::vector<SchemaRepair::Step> steps;
    try {
        steps = SchemaRepair::plan(*database_, everyTable);
    } catch (const SchemaRepair::Unrepairable& unrepairable) {
        throw UnusableFile(unrepairable.what(), "damaged");
    }
    if (steps.empty()) {
        return;
    }
    changeSchema(*database_, [&] {
        for (const auto& step : steps) {
            database_->execute(step.sql);
        }
    });
    const std::string file = sqlite3_db_filename(database_->handle(), "main");
    for (const auto& step : steps) {
        Logger::writeLog(ZQBLogLevel::warning,
                         step.column.empty()
                             ? "[Database Module] The table " + step.table +
                                   " was missing from the database " + file + "; it was created"
                             : "[Database Module] The column " + step.column +
                                   " was missing from the table " + step.table + " of the database " + file +
                                   "; it was added with its default");
    }
}

}  // namespace zqb
