#pragma once

#include "database/SQLiteValue.hpp"

#include <cstdint>
#include <string>

// Column values by storage class, for building the rows the record readers take.
namespace zqb::test::rows {

// Each value is put in place: copying a freshly made variant trips a false "maybe uninitialized" in GCC 12
// under the sanitizers.
inline OptionalSQLiteValue I(int64_t value) {
    OptionalSQLiteValue result;
    result.emplace(std::in_place_type<int64_t>, value);
    return result;
}
inline OptionalSQLiteValue T(std::string value) {
    OptionalSQLiteValue result;
    result.emplace(std::in_place_type<std::string>, std::move(value));
    return result;
}
inline OptionalSQLiteValue D(double value) {
    OptionalSQLiteValue result;
    result.emplace(std::in_place_type<double>, value);
    return result;
}
inline const OptionalSQLiteValue N = std::nullopt;

}  // namespace zqb::test::rows
