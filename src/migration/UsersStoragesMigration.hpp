#pragma once

#include "migration/ArchivedValue.hpp"
#include "migration/DataStorageMigration.hpp"
#include "migration/KeyedDecoder.hpp"

#include <map>
#include <memory>
#include <string>

namespace zqb {

// The root of the earlier native library's keyed archive: its users by id and which of them was active.
class UsersStoragesMigration {
public:
    static constexpr const char* archivedClassName = "UsersStorages";

    // Never fails: a missing or mistyped field takes its fallback.
    UsersStoragesMigration(KeyedDecoder& decoder, const ArchivedObject& object);

    std::string activeUserId;  // "" when missing
    // Empty when missing, or when any key is not a text or any value not an archived user.
    std::map<std::string, std::shared_ptr<const DataStorageMigration>> dataStorages;
    bool trackingAvailable = false;
};

}  // namespace zqb
