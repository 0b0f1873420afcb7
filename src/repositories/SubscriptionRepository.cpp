#include "repositories/SubscriptionRepository.hpp"

namespace zqb {

SubscriptionRepository::SubscriptionRepository(std::shared_ptr<DatabaseProtocol> database)
    : Repository(std::move(database), table) {}

ColumnMap SubscriptionRepository::prepareContentValues(const SubscriptionInfo& info) {
    return {{"projectId", SQLiteValue(info.projectId)},
            {"products", encodeOrDefault(info.products, std::vector<SubscriptionProduct>{})},
            {"restoredTransaction",
             encodeOrDefault(info.restoredTransaction, std::vector<RestoredTransaction>{})},
            {"alreadyRestored", sqliteBool(info.alreadyRestored)},
            {"productIsChanged", sqliteBool(info.productIsChanged)},
            {"alreadySendRestoreEvent", sqliteBool(info.alreadySendRestoreEvent)}};
}

void SubscriptionRepository::insert(const std::shared_ptr<SubscriptionInfo>& info) {
    if (info) {
        insertRecord(info, prepareContentValues(*info));
    }
}

bool SubscriptionRepository::update(const std::shared_ptr<SubscriptionInfo>& info) {
    return info && updateRecord(info, prepareContentValues(*info), false);
}

}  // namespace zqb
