#include "model/User.hpp"

namespace zqb {

std::shared_ptr<User> User::fromRow(const SQLiteRow& row) {
    const auto id = rowInteger(row, 0);
    const auto projectId = rowInteger(row, 1);
    const auto level = rowInteger(row, 2);
    if (!id || !projectId || !level) {
        return nullptr;
    }
    auto user = std::make_shared<User>(*projectId, rowText(row, 4), rowFlag(row, 8));
    user->idKey = *id;
    user->level = *level;
    user->sessionId = rowInteger(row, 3);
    user->previousUserId = rowText(row, 5);
    user->lastForegroundTime = rowInteger(row, 6);
    user->lastBackgroundTime = rowInteger(row, 7);
    user->isResourceAggregationEnable = rowFlag(row, 9);
    return user;
}

std::vector<int64_t> User::idKeys(const std::vector<std::shared_ptr<User>>& users) {
    std::vector<int64_t> ids;
    ids.reserve(users.size());
    for (const auto& user : users) {
        if (user) {
            ids.push_back(user->idKey);
        }
    }
    return ids;
}

}  // namespace zqb
