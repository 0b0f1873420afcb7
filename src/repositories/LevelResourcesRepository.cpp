#include "repositories/LevelResourcesRepository.hpp"

namespace zqb {

LevelResourcesRepository::LevelResourcesRepository(std::shared_ptr<DatabaseProtocol> database)
    : Repository(std::move(database), table) {}

ColumnMap LevelResourcesRepository::prepareContentValues(const LevelResource& resource) {
    return {{"userId", SQLiteValue(resource.userId)},
            {"type", SQLiteValue(static_cast<int64_t>(resource.type))},
            {"name", SQLiteValue(resource.name)},
            {"amount", SQLiteValue(resource.amount)}};
}

void LevelResourcesRepository::insert(const LevelResource& resource) {
    insertRecord(resource, prepareContentValues(resource));
}

bool LevelResourcesRepository::update(const LevelResource& resource) {
    return updateRecord(resource, prepareContentValues(resource), true);
}

bool LevelResourcesRepository::deleteItems(const std::vector<LevelResource>& resources) {
    return deleteIds(idsOf(resources));
}

bool LevelResourcesRepository::deleteForDataForUsers(const std::vector<int64_t>& userIds) {
    return deleteForUsers(userIds);
}

bool LevelResourcesRepository::clear() {
    return clearTable();
}

}  // namespace zqb
