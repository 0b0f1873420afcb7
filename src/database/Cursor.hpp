#pragma once

#include "database/SQLiteValue.hpp"

#include <optional>
#include <string>

struct sqlite3_stmt;

namespace zqb {

// A view of the row on which a statement currently stands. It owns nothing and is valid only until the
// statement steps again, is reset or is finalized.
class Cursor {
public:
    Cursor(sqlite3_stmt* handle, int columnCount) : handle_(handle), columnCount_(columnCount) {}

    sqlite3_stmt* handle() const { return handle_; }
    int columnCount() const { return columnCount_; }

    // The column's text when its storage class is TEXT, nothing otherwise (no conversion).
    std::optional<std::string> operator[](int index) const;

    // The column's value by storage class; NULL is absent. The library writes no BLOB, so one found in a
    // file is read as absent: every row reader then treats it as a mismatch rather than as text.
    OptionalSQLiteValue value(int index) const;

    // Every column, 0 to columnCount - 1.
    SQLiteRow row() const;

private:
    std::string text(int index) const;

    sqlite3_stmt* handle_;
    int columnCount_;
};

}  // namespace zqb
