#include "repositories/IdentifiersRepository.hpp"

namespace zqb {

IdentifiersRepository::IdentifiersRepository(std::shared_ptr<DatabaseProtocol> database)
    : Repository(std::move(database), table) {}

ColumnMap IdentifiersRepository::prepareContentValues(const DeviceIdentifiers& identifiers) {
    return {{"projectId", SQLiteValue(identifiers.projectId)},
            {"deviceIdentifier", SQLiteValue(identifiers.deviceIdentifier)},
            {"previousDeviceIdentifier", sqliteOptional(identifiers.previousDeviceIdentifier)},
            {"vorantelId", sqliteOptional(identifiers.vorantelId)},
            {"crossPlatformVorantelId", sqliteOptional(identifiers.crossPlatformVorantelId)},
            {"uuid", SQLiteValue(identifiers.uuid)},
            {"vorantelIdTimestamp", sqliteOptional(identifiers.vorantelIdTimestamp)}};
}

void IdentifiersRepository::insert(const std::shared_ptr<DeviceIdentifiers>& identifiers) {
    if (identifiers) {
        insertRecord(identifiers, prepareContentValues(*identifiers));
    }
}

bool IdentifiersRepository::update(const std::shared_ptr<DeviceIdentifiers>& identifiers) {
    return identifiers && updateRecord(identifiers, prepareContentValues(*identifiers), false);
}

}  // namespace zqb
