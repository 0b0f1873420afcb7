#pragma once

#include "database/Cursor.hpp"
#include "database/SQLiteValue.hpp"

#include <string>
#include <vector>

struct sqlite3_stmt;

namespace zqb {

class Connection;

// One prepared statement, finalized when destroyed. Parameters are bound 1-based in list order. Every
// step runs under the connection's serialisation. The connection must outlive the statement.
class Statement {
public:
    // Prepares the first statement of `sql` and binds `arguments`. Throws `SQLiteError` when SQLite refuses
    // the text and `EmptyStatementError` when the text holds no statement.
    Statement(Connection& database, const std::string& sql, std::vector<OptionalSQLiteValue> arguments = {});
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Binds all parameters at once. An empty list changes nothing; a list whose length differs from the
    // statement's parameter count throws `SQLiteError` (SQLITE_RANGE) and binds nothing.
    Statement& bind(const std::vector<OptionalSQLiteValue>& values);

    // Binds the values when any are given, then steps to the end from the first row, skipping rows.
    Statement& run(const std::vector<OptionalSQLiteValue>& bindings = {});

    // Back to before the first row; the bindings stay.
    void reset();

    // Advances by one row: true when a row is available, false at the end; throws `SQLiteError`.
    bool step();

    // The row the statement stands on.
    const Cursor& cursor() const { return cursor_; }
    int columnCount() const { return cursor_.columnCount(); }

    // The statement's SQL text.
    std::string description() const;

    const std::vector<OptionalSQLiteValue>& arguments() const { return arguments_; }

private:
    void bind(const OptionalSQLiteValue& value, int index);

    sqlite3_stmt* handle_ = nullptr;
    std::vector<OptionalSQLiteValue> arguments_;
    Connection& database_;
    Cursor cursor_;
};

}  // namespace zqb
