#pragma once

#include "database/SQLiteValue.hpp"

#include <cstdint>
#include <optional>

namespace zqb {

// A tutorial step already reported for a user (a row of "tutorialMarkEntry").
struct TutorialMark {
    int64_t idKey = -1;
    int64_t userId = -1;  // the user's idKey
    int64_t step = 0;

    // Columns: 0 id, 1 userId, 2 step, all required.
    static std::optional<TutorialMark> fromRow(const SQLiteRow& row);
};

}  // namespace zqb
