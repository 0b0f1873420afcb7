#pragma once

#include "model/LevelResource.hpp"
#include "repositories/Repository.hpp"

namespace zqb {

// The table "levelResource": per user, the amounts earned, bought and spent within the current level.
class LevelResourcesRepository : public Repository<LevelResource> {
public:
    static constexpr const char* table = "levelResource";

    explicit LevelResourcesRepository(std::shared_ptr<DatabaseProtocol> database);

    // The cache gets a copy with the new row id; the caller's value keeps idKey -1.
    virtual void insert(const LevelResource& resource);
    // The row is written, then the value replaces the cached one with its idKey.
    virtual bool update(const LevelResource& resource);
    virtual bool deleteItems(const std::vector<LevelResource>& resources);
    virtual bool deleteForDataForUsers(const std::vector<int64_t>& userIds);
    virtual bool clear();

    static ColumnMap prepareContentValues(const LevelResource& resource);
};

}  // namespace zqb
