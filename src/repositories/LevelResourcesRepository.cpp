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

void LevelResourcesRepository::update(const LevelResource& resource) {
    replaceCached(resource);
    updateRow(resource.idKey, prepareContentValues(resource));
}

void LevelResourcesRepository::deleteItems(const std::vector<LevelResource>& resources) {
    deleteIds(idsOf(resources));
}

void LevelResourcesRepository::deleteForDataForUsers(const std::vector<int64_t>& userIds) {
    deleteForUsers(userIds);
}

void LevelResourcesRepository::clear() {
    clearTable();
}

}  // namespace zqb
