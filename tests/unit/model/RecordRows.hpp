#pragma once

#include "database/SQLiteValue.hpp"

#include <cstdint>
#include <string>

// Column values by storage class, for building the rows the record readers take.
namespace zqb::test::rows {

inline OptionalSQLiteValue I(int64_t value) {
    return SQLiteValue(value);
}
inline OptionalSQLiteValue T(std::string value) {
    return SQLiteValue(std::move(value));
}
inline OptionalSQLiteValue D(double value) {
    return SQLiteValue(value);
}
inline const OptionalSQLiteValue N = std::nullopt;

}  // namespace zqb::test::rows
