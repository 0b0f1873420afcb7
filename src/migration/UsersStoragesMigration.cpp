#include "migration/UsersStoragesMigration.hpp"

namespace zqb {

UsersStoragesMigration::UsersStoragesMigration(KeyedDecoder& decoder, const ArchivedObject& object)
    : activeUserId(decoder.decodeString(object, "activeUser").value_or("")),
      dataStorages(decoder.decodeObjects<DataStorageMigration>(object, "dataStorages")
                       .value_or(std::map<std::string, std::shared_ptr<const DataStorageMigration>>{})),
      trackingAvailable(decoder.decodeBool(object, "trackingAvailable").value_or(false)) {}

}  // namespace zqb
