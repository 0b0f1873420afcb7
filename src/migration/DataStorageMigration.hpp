#pragma once

#include "migration/ArchivedValue.hpp"
#include "migration/KeyedDecoder.hpp"
#include "migration/PlayerPreferencesMigration.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// One user of the earlier native library, read from its keyed archive.
class DataStorageMigration {
public:
    static constexpr const char* archivedClassName = "DataStorage";

    // Never fails: a missing or mistyped field takes its fallback.
    DataStorageMigration(KeyedDecoder& decoder, const ArchivedObject& object);

    std::optional<int64_t> level;  // always present: 0 when "level" is missing or not an integer
    std::optional<std::string> userUid;
    std::optional<std::string> prevUid;
    std::shared_ptr<const PlayerPreferencesMigration> playerPreferences;
    std::vector<std::string> transactionIds;
    std::vector<int64_t> tutorCompletedSteps;
};

}  // namespace zqb
