#include "database/Statement.hpp"

#include "database/Connection.hpp"
#include "database/EmptyStatementError.hpp"
#include "database/SQLiteError.hpp"

#include <sqlite3.h>

namespace zqb {
namespace {

sqlite3_stmt* prepare(Connection& database, const std::string& sql) {
    return database.serialized([&] {
        sqlite3_stmt* handle = nullptr;
        const int result = sqlite3_prepare_v2(database.handle(), sql.c_str(), -1, &handle, nullptr);
        if (result != SQLITE_OK) {
            std::string reason = database.errorMessage();
            sqlite3_finalize(handle);
            throw SQLiteError("SQLite error", result, std::nullopt, std::move(reason));
        }
        if (handle == nullptr) {
            throw EmptyStatementError();
        }
        return handle;
    });
}

}  // namespace

Statement::Statement(Connection& database, const std::string& sql, std::vector<OptionalSQLiteValue> arguments)
    : handle_(prepare(database, sql)),
      arguments_(std::move(arguments)),
      database_(database),
      cursor_(handle_, sqlite3_column_count(handle_)) {
    try {
        bind(arguments_);
    } catch (...) {
        sqlite3_finalize(handle_);
        throw;
    }
}

Statement::~Statement() {
    sqlite3_finalize(handle_);
}

Statement& Statement::bind(const std::vector<OptionalSQLiteValue>& values) {
    if (values.empty()) {
        return *this;
    }
    const int expected = sqlite3_bind_parameter_count(handle_);
    if (values.size() != static_cast<std::size_t>(expected)) {
        throw SQLiteError(
            std::to_string(expected) + " values expected, " + std::to_string(values.size()) + " passed",
            SQLITE_RANGE);
    }
    // Every parameter is bound: none keeps a value of an earlier run.
    database_.serialized([&] {
        sqlite3_reset(handle_);
        for (std::size_t index = 0; index < values.size(); ++index) {
            bind(values[index], static_cast<int>(index + 1));
        }
    });
    return *this;
}

void Statement::bind(const OptionalSQLiteValue& value, int index) {
    int result = SQLITE_OK;
    if (!value) {
        result = sqlite3_bind_null(handle_, index);
    } else if (const auto* number = std::get_if<double>(&*value)) {
        result = sqlite3_bind_double(handle_, index, *number);
    } else if (const auto* integer = std::get_if<int64_t>(&*value)) {
        result = sqlite3_bind_int64(handle_, index, *integer);
    } else {
        const auto& text = std::get<std::string>(*value);
        // SQLITE_TRANSIENT: SQLite copies the text, so no buffer has to outlive the call.
        result = sqlite3_bind_text64(handle_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    if (result != SQLITE_OK) {
        throw SQLiteError(database_.errorMessage(), result);
    }
}

Statement& Statement::run(const std::vector<OptionalSQLiteValue>& bindings) {
    database_.serialized([&] {
        bind(bindings);
        reset();
        while (step()) {
        }
    });
    return *this;
}

void Statement::reset() {
    database_.serialized([&] { sqlite3_reset(handle_); });
}

bool Statement::step() {
    return database_.serialized([&] {
        const int result = sqlite3_step(handle_);
        if (!SQLiteError::isSuccessCode(result)) {
            throw SQLiteError(database_.errorMessage(), result);
        }
        return result == SQLITE_ROW;
    });
}

std::string Statement::description() const {
    const char* sql = sqlite3_sql(handle_);
    return sql != nullptr ? sql : "";
}

}  // namespace zqb
