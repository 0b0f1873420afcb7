#pragma once

#include "database/SQLiteValue.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace zqb {

enum class LevelResourceType : int { earned = 0, bought = 1, spent = 2 };

// The case with this raw value, or nothing.
std::optional<LevelResourceType> levelResourceTypeFromRawValue(int64_t raw);

// A currency amount earned, bought or spent by a user within the current level (a row of "levelResource").
struct LevelResource {
    int64_t idKey = -1;
    int64_t userId = -1;
    LevelResourceType type = LevelResourceType::earned;
    std::string name;
    int64_t amount = 0;

    // "\t userId: 1, \n\t type: earned, \n\t name: gold, \n\t amount: 5"
    std::string description() const;

    // Columns: 0 id, 1 userId, 2 type, 3 name, 4 amount, all required. A type other than 0, 1 or 2 reads
    // as earned.
    static std::optional<LevelResource> fromRow(const SQLiteRow& row);
};

// The same user, type and name (canonically equal); idKey and amount take no part.
bool operator==(const LevelResource& a, const LevelResource& b);

}  // namespace zqb
