#include "database/SQLiteProvider.hpp"

#include "database/Connection.hpp"
#include "database/SQLiteError.hpp"
#include "database/SQLiteProviderSupport.hpp"
#include "database/Statement.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <bit>

namespace zqb {

using provider_support::arguments;
using provider_support::runGuarded;

namespace {

std::string placeholders(std::size_t count) {
    std::string text;
    text.reserve(count * 3);
    for (std::size_t index = 0; index < count; ++index) {
        text += index == 0 ? "?" : ", ?";
    }
    return text;
}

// "DELETE FROM <table> WHERE <column> IN (?, ..., ?)" with `count` values.
std::string deleteText(const std::string& tableName, const std::string& column, std::size_t count) {
    return "DELETE FROM " + tableName + " WHERE " + column + " IN (" + placeholders(count) + ")";
}

}  // namespace

template <typename Work>
auto SQLiteProvider::write(Work&& work) -> decltype(work()) {
    return database_->serialized([&] {
        ensureOpen();
        group_->beforeWrite();
        const std::size_t before = group_->journaled();
        try {
            auto result = work();
            group_->afterWrite();
            return result;
        } catch (...) {
            group_->failedWrite(before);
            throw;
        }
    });
}

const SQLiteProvider::InsertPlan& SQLiteProvider::insertPlan(const std::string& tableName,
                                                             const ColumnMap& content) {
    const auto sameColumns = [&](const InsertPlan& plan) {
        if (plan.table != tableName || plan.columns.size() != content.size()) {
            return false;
        }
        for (std::size_t index = 0; index < content.size(); ++index) {
            if (plan.columns[index] != content[index].first) {
                return false;
            }
        }
        return true;
    };
    if (const auto found = std::find_if(insertPlans_.begin(), insertPlans_.end(), sameColumns);
        found != insertPlans_.end()) {
        return *found;
    }
    InsertPlan plan;
    plan.table = tableName;
    std::string names;
    for (const auto& [name, value] : content) {
        names += names.empty() ? name : ", " + name;
        plan.columns.push_back(name);
        plan.hasId = plan.hasId || name == "id";
    }
    plan.sql = "INSERT INTO " + tableName + " (" + names + ") VALUES(" + placeholders(content.size()) + ")";
    // Repeated with the row id it was given, so that a repeat never hands out another.
    plan.journaled = std::make_shared<const std::string>(
        plan.hasId ? plan.sql
                   : "INSERT INTO " + tableName + " (" + names + (names.empty() ? "" : ", ") + "id) VALUES(" +
                         placeholders(content.size() + 1) + ")");
    insertPlans_.push_back(std::move(plan));
    return insertPlans_.back();
}

std::optional<int64_t> SQLiteProvider::insert(const std::string& tableName,
                                              const ColumnMap& content) noexcept {
    std::optional<int64_t> inserted;
    runGuarded(kInsertFailure, [&] {
        std::vector<OptionalSQLiteValue> values;
        values.reserve(content.size() + 1);
        for (const auto& column : content) {
            values.push_back(column.second);
        }
        inserted = write([&] {
            // Taken under the connection's serialisation, which guards the plans too.
            const InsertPlan& plan = insertPlan(tableName, content);
            runWithCachedStatement(plan.sql, values);
            const int64_t rowId = database_->lastInsertRowId();
            if (group_->isOpen()) {
                if (!plan.hasId) {
                    values.emplace_back(SQLiteValue(rowId));
                }
                group_->journal({plan.journaled, std::move(values), kInsertFailure, true});
            }
            return rowId;
        });
    });
    return inserted;
}

void SQLiteProvider::runWithCachedStatement(const std::string& sql,
                                            const std::vector<OptionalSQLiteValue>& values) {
    auto cached = statementCache_.find(sql);
    if (cached == statementCache_.end()) {
        cached = statementCache_.emplace(sql, std::make_unique<Statement>(*database_, sql)).first;
    }
    try {
        cached->second->run(values);
        // Back before its first row, so that it holds no read of the file; every value is bound afresh at
        // the next run, so the copies SQLite keeps of the last ones need no clearing.
        cached->second->reset();
        return;
    } catch (const SQLiteError& error) {
        statementCache_.erase(cached);
        // A cached statement that SQLite could not prepare again (its table was changed or dropped under
        // it) fails with another message than a fresh one: the fresh one decides, as if nothing were cached.
        // Other failures are those a fresh statement meets in the same step.
        if (error.code() != SQLITE_ERROR && error.code() != SQLITE_SCHEMA) {
            throw;
        }
    }
    Statement(*database_, sql, values).run();
}

std::optional<int64_t> SQLiteProvider::update(const std::string& tableName, const ColumnMap& values,
                                              const std::string& selection,
                                              const std::vector<SQLiteValue>& selectionArgs) noexcept {
    std::optional<int64_t> changed;
    runGuarded(kInsertFailure, [&] {
        std::string items;
        std::vector<OptionalSQLiteValue> bindings;
        bindings.reserve(values.size() + selectionArgs.size());
        for (const auto& [name, value] : values) {
            items += (items.empty() ? "" : ", ") + name + "=?";
            bindings.push_back(value);
        }
        bindings.insert(bindings.end(), selectionArgs.begin(), selectionArgs.end());
        const std::string sql = "UPDATE " + tableName + " SET " + items + " WHERE " + selection;
        changed = write([&] {
            runJournaled(sql, std::move(bindings), kInsertFailure);
            return database_->changes();
        });
    });
    return changed;
}

int64_t SQLiteProvider::deleteRows(const std::string& tableName, const std::string& selection,
                                   const std::vector<SQLiteValue>& selectionArgs) noexcept {
    int64_t deleted = 0;
    runGuarded(kDeleteFailure, [&] {
        const std::string sql = "DELETE FROM " + tableName + " WHERE " + selection;
        deleted = write([&] {
            runJournaled(sql, arguments(selectionArgs), kDeleteFailure);
            return database_->changes();
        });
    });
    return deleted;
}

std::optional<int64_t> SQLiteProvider::deleteWhereIn(const std::string& tableName, const std::string& column,
                                                     std::span<const int64_t> values) noexcept {
    if (values.empty()) {
        return 0;
    }
    std::optional<int64_t> deleted;
    runGuarded(kDeleteFailure, [&] {
        // More values than one statement may hold (deleting tens of thousands of events by id) are split
        // over several statements.
        deleted = write(
            [&] { return deleteInChunks(tableName, column, values, deleteChunkSize(tableName, column)); });
    });
    return deleted;
}

std::size_t SQLiteProvider::deleteChunkSize(const std::string& tableName, const std::string& column) const {
    // The host's SQLite decides what one statement may hold: a build with lower maximums (999 values bound
    // before 3.32), or a host that lowers them on each connection. Never more than SQLite's default maximum
    // either, so that the statements are the same whichever SQLite the host has, unless it asks for less.
    sqlite3* handle = database_->handle();
    const int variables = sqlite3_limit(handle, SQLITE_LIMIT_VARIABLE_NUMBER, -1);
    // The text grows by three characters a value (", ?"), the first by one.
    const int length = sqlite3_limit(handle, SQLITE_LIMIT_SQL_LENGTH, -1);
    const auto fixed = static_cast<int64_t>(deleteText(tableName, column, 0).size());
    const int64_t fitting = (static_cast<int64_t>(length) - fixed + 2) / 3;
    const int64_t chunk =
        std::min({static_cast<int64_t>(maximumBoundValues), static_cast<int64_t>(maximumDeleteValues),
                  static_cast<int64_t>(variables), fitting});
    return static_cast<std::size_t>(std::max<int64_t>(chunk, 1));
}

int64_t SQLiteProvider::deleteInChunks(const std::string& tableName, const std::string& column,
                                       std::span<const int64_t> values, std::size_t chunkSize) {
    const auto runChunk = [&](std::size_t offset, std::size_t count) {
        const auto first = values.begin() + static_cast<std::ptrdiff_t>(offset);
        std::vector<OptionalSQLiteValue> bound(first, first + static_cast<std::ptrdiff_t>(count));
        // Padded no further than a chunk may hold: `count` never exceeds it.
        const std::size_t padded =
            count <= maximumExactDeleteValues ? count : std::min(std::bit_ceil(count), chunkSize);
        if (padded > maximumCachedDeleteValues) {
            runJournaled(deleteText(tableName, column, count), std::move(bound), kDeleteFailure);
            return database_->changes();
        }
        // The deletions of sent reports and packed events come one or more for every report, the events
        // by the batch size: preparing their statement afresh cost about as much as running it.
        bound.resize(padded, bound.back());
        const std::string sql = deleteText(tableName, column, padded);
        runWithCachedStatement(sql, bound);
        const int64_t deleted = database_->changes();
        if (group_->isOpen()) {
            group_->journal({journaledText(sql), std::move(bound), kDeleteFailure, true});
        }
        return deleted;
    };
    if (values.size() <= chunkSize) {
        return runChunk(0, values.size());
    }
    // Several statements within one savepoint: all or nothing.
    database_->execute("SAVEPOINT chunked_delete");
    try {
        int64_t deleted = 0;
        for (std::size_t offset = 0; offset < values.size(); offset += chunkSize) {
            deleted += runChunk(offset, std::min(chunkSize, values.size() - offset));
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
}

bool SQLiteProvider::clear(const std::string& tableName) noexcept {
    return runGuarded(kDeleteFailure, [&] {
        write([&] {
            runJournaled("DELETE FROM " + tableName, {}, kDeleteFailure);
            return true;
        });
    });
}

}  // namespace zqb
