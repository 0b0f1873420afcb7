#include "repositories/CurrencyAccrualResourcesRepository.hpp"

namespace zqb {

CurrencyAccrualResourcesRepository::CurrencyAccrualResourcesRepository(
    std::shared_ptr<DatabaseProtocol> database)
    : Repository(std::move(database), table) {}

ColumnMap CurrencyAccrualResourcesRepository::prepareContentValues(const CurrencyAccrualResource& resource) {
    return {
        {"userId", SQLiteValue(resource.userId)}, {"type", SQLiteValue(static_cast<int64_t>(resource.type))},
        {"name", SQLiteValue(resource.name)},     {"amount", SQLiteValue(resource.amount)},
        {"source", SQLiteValue(resource.source)}, {"timestamp", SQLiteValue(resource.timestamp)}};
}

void CurrencyAccrualResourcesRepository::insert(const CurrencyAccrualResource& resource) {
    insertRecord(resource, prepareContentValues(resource));
}

bool CurrencyAccrualResourcesRepository::update(const CurrencyAccrualResource& resource) {
    return updateRecord(resource, prepareContentValues(resource), true);
}

bool CurrencyAccrualResourcesRepository::deleteItems(const std::vector<CurrencyAccrualResource>& resources) {
    return deleteIds(idsOf(resources));
}

bool CurrencyAccrualResourcesRepository::deleteForDataForUsers(const std::vector<int64_t>& userIds) {
    return deleteForUsers(userIds);
}

bool CurrencyAccrualResourcesRepository::clear() {
    return clearTable();
}

}  // namespace zqb
