#include "database/SQLiteProvider.hpp"

#include "core/Logger.hpp"
#include "database/Connection.hpp"
#include "database/SQLiteContracts.hpp"
#include "database/SQLiteError.hpp"
#include "database/Statement.hpp"
#include "host/Environment.hpp"

#include <sqlite3.h>

#include <cctype>
#include <system_error>

namespace zqb {
namespace {

std::vector<OptionalSQLiteValue> arguments(const std::vector<SQLiteValue>& values) {
    return std::vector<OptionalSQLiteValue>(values.begin(), values.end());
}

std::string placeholders(std::size_t count) {
    std::string text;
    text.reserve(count * 3);
    for (std::size_t index = 0; index < count; ++index) {
        text += index == 0 ? "?" : ", ?";
    }
    return text;
}

void logError(const std::string& prefix, const std::exception& error) {
    Logger::writeLog(ZQBLogLevel::error, "[Database Module] " + prefix + error.what());
}

bool isIdentifierCharacter(char character) {
    return std::isalnum(static_cast<unsigned char>(character)) != 0 || character == '_';
}

// The column of a selection of the form "<column> IN (?, ?, ...)" with exactly `count` placeholders, or
// nothing for any other selection.
std::optional<std::string> inListColumn(std::string_view selection, std::size_t count) {
    std::size_t position = 0;
    const auto skipBlanks = [&] {
        while (position < selection.size() &&
               std::isspace(static_cast<unsigned char>(selection[position])) != 0) {
            ++position;
        }
    };
    const auto accept = [&](char character) {
        skipBlanks();
        if (position < selection.size() &&
            std::toupper(static_cast<unsigned char>(selection[position])) == character) {
            ++position;
            return true;
        }
        return false;
    };
    skipBlanks();
    const std::size_t start = position;
    while (position < selection.size() && isIdentifierCharacter(selection[position])) {
        ++position;
    }
    if (position == start || std::isdigit(static_cast<unsigned char>(selection[start])) != 0) {
        return std::nullopt;
    }
    std::string column(selection.substr(start, position - start));
    if (position == selection.size() || std::isspace(static_cast<unsigned char>(selection[position])) == 0 ||
        !accept('I')) {
        return std::nullopt;
    }
    if (position == selection.size() ||
        std::toupper(static_cast<unsigned char>(selection[position])) != 'N') {
        return std::nullopt;
    }
    ++position;
    if (!accept('(')) {
        return std::nullopt;
    }
    std::size_t found = 0;
    do {
        if (!accept('?')) {
            return std::nullopt;
        }
        ++found;
    } while (accept(','));
    if (!accept(')')) {
        return std::nullopt;
    }
    skipBlanks();
    if (position != selection.size() || found != count) {
        return std::nullopt;
    }
    return column;
}

}  // namespace

std::optional<std::filesystem::path> SQLiteProvider::folderPath() {
    const std::filesystem::path support = host::Environment::shared().files()->applicationSupportDirectory();
    if (support.empty()) {
        return std::nullopt;
    }
    return support / folderName;
}

SQLiteProvider::SQLiteProvider(const std::string& /*applicationKey*/) {
    const auto folder = folderPath();
    if (!folder) {
        throw SQLiteError("SQLite error", SQLITE_ERROR);
    }
    std::error_code ignored;
    if (!std::filesystem::exists(*folder, ignored)) {
        Logger::writeLog(ZQBLogLevel::debug, "[Database Module] It's a clean launch of the SDK");
        std::filesystem::create_directories(*folder);
    } else {
        Logger::writeLog(ZQBLogLevel::debug, "[Database Module] Trying to load database");
    }
    database_ = std::make_unique<Connection>((*folder / fileName).string());
    configure();
    migrate();
}

SQLiteProvider::~SQLiteProvider() {
    // A group still open (its commit was posted behind the operation releasing the provider) is committed,
    // not dropped with the connection.
    if (database_ && inTransaction()) {
        try {
            database_->execute("COMMIT");
        } catch (const std::exception& error) {
            logError("Error in committing: ", error);
        }
    }
}

void SQLiteProvider::groupInsertsOn(WriterQueue queue) {
    writerQueue_ = std::move(queue);
}

bool SQLiteProvider::inTransaction() const {
    return sqlite3_get_autocommit(database_->handle()) == 0;
}

void SQLiteProvider::joinInsertGroup() {
    if (!writerQueue_ || commitPosted_ || !writerQueue_->isCurrent()) {
        return;
    }
    std::weak_ptr<SQLiteProvider> weak = weak_from_this();
    if (weak.expired()) {
        return;
    }
    // A transaction may still be open when its last commit failed: the group goes on in it.
    if (!inTransaction()) {
        try {
            database_->execute("BEGIN");
        } catch (const std::exception& error) {
            logError("Error in grouping inserts: ", error);
            return;  // this insert commits on its own
        }
    }
    commitPosted_ = true;
    writerQueue_->post([weak] {
        if (const auto self = weak.lock()) {
            self->commitInsertGroup();
        }
    });
}

void SQLiteProvider::commitInsertGroup() {
    database_->serialized([&] {
        commitPosted_ = false;
        if (!inTransaction()) {
            return;
        }
        try {
            database_->execute("COMMIT");
        } catch (const std::exception& error) {
            // A COMMIT that failed and left the transaction open (the file busy) is tried again with the
            // next insert's group or when the provider closes; nothing in it is rolled back here.
            logError("Error in committing: ", error);
        }
    });
}

void SQLiteProvider::configure() {
    // One autocommit write per stored event: WAL with NORMAL sync makes those about thirty times cheaper and
    // still never corrupts the file; a power cut may only lose the last commits. These are also the first
    // statements to read the file, so a file that is not a database fails here.
    database_->execute("PRAGMA journal_mode=WAL");
    database_->execute("PRAGMA synchronous=NORMAL");
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
            return;
        }
        if (version == 2) {
            updateSchemeVersion(SQLiteContracts::currentVersion);
            return;
        }
        if (version > 2) {
            // A layout this library does not know: its rows cannot be read by position. Leave the file as
            // it is rather than write into it.
            throw SQLiteError("Unsupported database version " + std::to_string(version), SQLITE_ERROR);
        }
        // All steps and the version in one transaction: a launch interrupted half-way leaves the file as it
        // was, and the next launch starts over.
        database_->execute("BEGIN IMMEDIATE");
        try {
            for (const auto& step : SQLiteContracts::map()) {
                runStep(step);
            }
            updateSchemeVersion(SQLiteContracts::currentVersion);
            database_->execute("COMMIT");
        } catch (...) {
            try {
                database_->execute("ROLLBACK");
            } catch (const std::exception&) {
            }
            throw;
        }
    });
}

void SQLiteProvider::runStep(const std::vector<std::string>& statements) {
    static const std::string alter = "ALTER TABLE ";
    static const std::string addColumn = " ADD COLUMN ";
    for (const auto& statement : statements) {
        // A column is added only when missing, so that a file that already has it still opens.
        if (statement.rfind(alter, 0) == 0) {
            const auto add = statement.find(addColumn);
            if (add != std::string::npos) {
                const std::string table = statement.substr(alter.size(), add - alter.size());
                const auto columnStart = add + addColumn.size();
                const std::string column =
                    statement.substr(columnStart, statement.find(' ', columnStart) - columnStart);
                if (hasColumn(table, column)) {
                    continue;
                }
            }
        }
        database_->execute(statement);
    }
}

bool SQLiteProvider::hasColumn(const std::string& table, const std::string& column) {
    Statement statement(*database_, "PRAGMA table_info(" + table + ")");
    while (statement.step()) {
        if (statement.cursor()[1] == column) {
            return true;
        }
    }
    return false;
}

std::optional<int64_t> SQLiteProvider::insert(const std::string& tableName, const ColumnMap& content) {
    std::string names;
    std::vector<OptionalSQLiteValue> values;
    values.reserve(content.size());
    for (const auto& [name, value] : content) {
        names += names.empty() ? name : ", " + name;
        values.push_back(value);
    }
    const std::string sql =
        "INSERT INTO " + tableName + " (" + names + ") VALUES(" + placeholders(content.size()) + ")";
    try {
        return database_->serialized([&] {
            joinInsertGroup();
            return insertWithKeptStatement(sql, values);
        });
    } catch (const std::exception& error) {
        logError("Error in inserting: ", error);
        return std::nullopt;
    }
}

std::optional<int64_t> SQLiteProvider::insertWithKeptStatement(
    const std::string& sql, const std::vector<OptionalSQLiteValue>& values) {
    auto kept = insertStatements_.find(sql);
    if (kept == insertStatements_.end()) {
        kept = insertStatements_.emplace(sql, std::make_unique<Statement>(*database_, sql)).first;
    }
    try {
        kept->second->run(values);
        const int64_t rowId = database_->lastInsertRowId();
        kept->second->clearBindings();
        return rowId;
    } catch (const SQLiteError& error) {
        insertStatements_.erase(kept);
        // A kept statement that SQLite could not prepare again (its table was changed or dropped under
        // it) fails with another message than a fresh one: the fresh one decides, as if nothing were kept.
        // Other failures are those a fresh statement meets in the same step.
        if (error.code() != SQLITE_ERROR && error.code() != SQLITE_SCHEMA) {
            throw;
        }
    }
    Statement(*database_, sql, values).run();
    return database_->lastInsertRowId();
}

std::optional<int64_t> SQLiteProvider::update(const std::string& tableName, const ColumnMap& values,
                                              const std::string& selection,
                                              const std::vector<SQLiteValue>& selectionArgs) {
    std::string items;
    std::vector<OptionalSQLiteValue> bindings;
    bindings.reserve(values.size() + selectionArgs.size());
    for (const auto& [name, value] : values) {
        items += (items.empty() ? "" : ", ") + name + "=?";
        bindings.push_back(value);
    }
    bindings.insert(bindings.end(), selectionArgs.begin(), selectionArgs.end());
    const std::string sql = "UPDATE " + tableName + " SET " + items + " WHERE " + selection;
    try {
        return database_->serialized([&] {
            Statement(*database_, sql, std::move(bindings)).run();
            return database_->changes();
        });
    } catch (const std::exception& error) {
        logError("Error in inserting: ", error);
        return std::nullopt;
    }
}

int64_t SQLiteProvider::deleteRows(const std::string& tableName, const std::string& selection,
                                   const std::vector<SQLiteValue>& selectionArgs) {
    try {
        // More values than one statement may bind (deleting tens of thousands of events by id): the same
        // deletion in several statements within one savepoint, all or nothing. The chunk is the smaller of
        // SQLite's default limit and this build's, so the behaviour does not depend on how SQLite was built.
        const int limit = sqlite3_limit(database_->handle(), SQLITE_LIMIT_VARIABLE_NUMBER, -1);
        const std::size_t chunk = std::min(maximumBoundValues, static_cast<std::size_t>(std::max(limit, 1)));
        if (selectionArgs.size() > chunk) {
            if (const auto column = inListColumn(selection, selectionArgs.size())) {
                return deleteInChunks(tableName, *column, selectionArgs, chunk);
            }
        }
        const std::string sql = "DELETE FROM " + tableName + " WHERE " + selection;
        return database_->serialized([&] {
            Statement(*database_, sql, arguments(selectionArgs)).run();
            return database_->changes();
        });
    } catch (const std::exception& error) {
        logError("Error in delete: ", error);
        return 0;
    }
}

int64_t SQLiteProvider::deleteInChunks(const std::string& tableName, const std::string& column,
                                       const std::vector<SQLiteValue>& values, std::size_t chunkSize) {
    return database_->serialized([&] {
        database_->execute("SAVEPOINT chunked_delete");
        try {
            int64_t deleted = 0;
            std::unique_ptr<Statement> full;
            for (std::size_t offset = 0; offset < values.size(); offset += chunkSize) {
                const std::size_t count = std::min(chunkSize, values.size() - offset);
                const auto first = values.begin() + static_cast<std::ptrdiff_t>(offset);
                std::vector<OptionalSQLiteValue> chunk(first, first + static_cast<std::ptrdiff_t>(count));
                const std::string sql =
                    "DELETE FROM " + tableName + " WHERE " + column + " IN (" + placeholders(count) + ")";
                if (count == chunkSize) {
                    if (!full) {
                        full = std::make_unique<Statement>(*database_, sql);
                    }
                    full->run(chunk);
                } else {
                    Statement(*database_, sql, std::move(chunk)).run();
                }
                deleted += database_->changes();
            }
            database_->execute("RELEASE chunked_delete");
            return deleted;
        } catch (...) {
            try {
                database_->execute("ROLLBACK TO chunked_delete");
                database_->execute("RELEASE chunked_delete");
            } catch (const std::exception&) {
            }
            throw;
        }
    });
}

void SQLiteProvider::clear(const std::string& tableName) {
    try {
        database_->serialized([&] { Statement(*database_, "DELETE FROM " + tableName).run(); });
    } catch (const std::exception& error) {
        logError("Error in delete: ", error);
    }
}

std::vector<SQLiteRow> SQLiteProvider::queryRows(const std::string& tableName, const QueryOptions& options) {
    std::vector<SQLiteRow> rows;
    database_->serialized([&] {
        std::unique_ptr<Statement> statement;
        try {
            statement =
                std::make_unique<Statement>(*database_, rawSql(tableName, options),
                                            options.selectionArgs ? arguments(*options.selectionArgs)
                                                                  : std::vector<OptionalSQLiteValue>{});
        } catch (const std::exception& error) {
            logError("Error in query: ", error);
            return;
        }
        try {
            statement->reset();
            while (statement->step()) {
                rows.push_back(statement->cursor().row());
            }
        } catch (const std::exception&) {
            // The rows read before the failure are kept.
        }
    });
    return rows;
}

std::string SQLiteProvider::rawSql(const std::string& tableName, const QueryOptions& options) {
    std::string columns;
    if (options.projection) {
        for (const auto& name : *options.projection) {
            columns += (columns.empty() ? "" : ",") + name;
        }
    }
    std::string sql = "SELECT " + (columns.empty() ? std::string("*") : columns) + " FROM " + tableName;
    if (options.join) {
        sql += " JOIN " + *options.join;
    }
    if (options.selection) {
        sql += " WHERE " + *options.selection;
    }
    if (options.groupBy) {
        sql += " GROUP BY " + *options.groupBy;
    }
    if (options.sortOrder) {
        sql += " ORDER BY " + *options.sortOrder;
    }
    if (options.limit) {
        sql += " LIMIT " + std::to_string(*options.limit);
    }
    return sql;
}

}  // namespace zqb
