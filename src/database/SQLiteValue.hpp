#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace zqb {

// A value bound to a statement parameter or read from a column, by SQLite storage class. Booleans are
// stored as the integers 1 and 0; an absent value (std::nullopt) is NULL.
using SQLiteValue = std::variant<int64_t, double, std::string>;
using OptionalSQLiteValue = std::optional<SQLiteValue>;

inline SQLiteValue sqliteBool(bool value) {
    return SQLiteValue(int64_t{value ? 1 : 0});
}

// An optional field as a column value: NULL when absent.
template <typename T>
OptionalSQLiteValue sqliteOptional(const std::optional<T>& value) {
    OptionalSQLiteValue result;
    if (value) {
        result.emplace(std::in_place_type<T>, *value);
    }
    return result;
}

// One row as read from a table: its columns in table order.
using SQLiteRow = std::vector<OptionalSQLiteValue>;

// Column name to value, in the order the columns are written into the statement.
using ColumnMap = std::vector<std::pair<std::string, OptionalSQLiteValue>>;

// Typed reads of one column of a row. Each gives a value only when the column holds exactly that storage
// class: SQLite would convert silently, and a row reader must notice a column of the wrong type.
inline std::optional<int64_t> rowInteger(const SQLiteRow& row, std::size_t index) {
    if (index < row.size() && row[index] && std::holds_alternative<int64_t>(*row[index])) {
        return std::get<int64_t>(*row[index]);
    }
    return std::nullopt;
}

inline std::optional<double> rowDouble(const SQLiteRow& row, std::size_t index) {
    if (index < row.size() && row[index] && std::holds_alternative<double>(*row[index])) {
        return std::get<double>(*row[index]);
    }
    return std::nullopt;
}

inline std::optional<std::string> rowText(const SQLiteRow& row, std::size_t index) {
    if (index < row.size() && row[index] && std::holds_alternative<std::string>(*row[index])) {
        return std::get<std::string>(*row[index]);
    }
    return std::nullopt;
}

// A flag column is true only when it holds an integer greater than 0.
inline bool rowFlag(const SQLiteRow& row, std::size_t index) {
    const auto value = rowInteger(row, index);
    return value && *value > 0;
}

}  // namespace zqb
