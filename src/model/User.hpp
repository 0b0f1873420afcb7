#pragma once

#include "database/SQLiteValue.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// A user of a project (a row of "users"). Shared by the state manager, the services and the user
// repository's cache.
struct User {
    // A new user at level 1, without a session, with resource aggregation on.
    User(int64_t projectId, std::optional<std::string> userId, bool isDefaultUser)
        : projectId(projectId), userId(std::move(userId)), isDefaultUser(isDefaultUser) {}

    int64_t idKey = -1;
    int64_t projectId = -1;
    int64_t level = 1;
    std::optional<int64_t> sessionId;  // start of the current session, Unix milliseconds
    std::optional<std::string> userId;
    std::optional<std::string> previousUserId;
    std::optional<int64_t> lastForegroundTime;
    std::optional<int64_t> lastBackgroundTime;
    bool isDefaultUser = false;
    bool isResourceAggregationEnable = true;
    bool balanceIsSent = false;  // memory only: never stored, false for a user read back

    // Columns: 0 id, 1 projectId, 2 level required; 3 sessionId, 4 userId, 5 previousUserId, 6
    // lastForegroundTime, 7 lastBackgroundTime optional; 8 isDefaultUser, 9 isResourceAggregationEnable
    // flags (a NULL reads false).
    static std::shared_ptr<User> fromRow(const SQLiteRow& row);

    // The row ids of the given users, null entries skipped.
    static std::vector<int64_t> idKeys(const std::vector<std::shared_ptr<User>>& users);
};

}  // namespace zqb
