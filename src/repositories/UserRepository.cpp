#include "repositories/UserRepository.hpp"

namespace zqb {

UserRepository::UserRepository(std::shared_ptr<DatabaseProtocol> database)
    : Repository(std::move(database), table) {}

ColumnMap UserRepository::prepareContentValues(const User& user) {
    return {{"projectId", SQLiteValue(user.projectId)},
            {"level", SQLiteValue(user.level)},
            {"sessionId", sqliteOptional(user.sessionId)},
            {"userId", sqliteOptional(user.userId)},
            {"previousUserId", sqliteOptional(user.previousUserId)},
            {"lastForegroundTime", sqliteOptional(user.lastForegroundTime)},
            {"lastBackgroundTime", sqliteOptional(user.lastBackgroundTime)},
            {"isDefaultUser", sqliteBool(user.isDefaultUser)},
            {"isResourceAggregationEnable", sqliteBool(user.isResourceAggregationEnable)}};
}

void UserRepository::insert(const std::shared_ptr<User>& user) {
    if (user) {
        insertRecord(user, prepareContentValues(*user));
    }
}

bool UserRepository::update(const std::shared_ptr<User>& user) {
    return user && updateRecord(user, prepareContentValues(*user), false);
}

bool UserRepository::deleteItems(const std::vector<std::shared_ptr<User>>& users) {
    return deleteIds(User::idKeys(users));
}

void UserRepository::keepUnstored(User& fromFile, const User& inMemory) const {
    fromFile.balanceIsSent = inMemory.balanceIsSent;
}

}  // namespace zqb
