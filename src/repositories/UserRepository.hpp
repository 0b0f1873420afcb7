#pragma once

#include "model/User.hpp"
#include "repositories/Repository.hpp"

namespace zqb {

// The table "users": the users of every project.
class UserRepository : public Repository<User> {
public:
    static constexpr const char* table = "users";

    explicit UserRepository(std::shared_ptr<DatabaseProtocol> database);

    // On success the user gets its row id and joins the cache. A second user with the same project and
    // user id is refused by the table and keeps idKey -1.
    virtual void insert(const std::shared_ptr<User>& user);
    // Writes every column from the shared object (which the cache already holds).
    virtual bool update(const std::shared_ptr<User>& user);
    // Only the users' rows: their events, reports, resources and card are the callers' to remove.
    virtual bool deleteItems(const std::vector<std::shared_ptr<User>>& users);

    // `balanceIsSent` lives in memory only.
    static ColumnMap prepareContentValues(const User& user);

protected:
    void keepUnstored(User& fromFile, const User& inMemory) const override;
};

}  // namespace zqb
