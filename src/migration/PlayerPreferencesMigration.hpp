#pragma once

#include "migration/ArchivedValue.hpp"
#include "migration/KeyedDecoder.hpp"

#include <map>
#include <string>

namespace zqb {

// The user card kept by the earlier native library, read from its keyed archive.
class PlayerPreferencesMigration {
public:
    static constexpr const char* archivedClassName = "PlayerPreferences";

    // Never fails: a missing or mistyped field takes its fallback.
    PlayerPreferencesMigration(KeyedDecoder& decoder, const ArchivedObject& object);

    // The card's values as archived ("preferences"); empty when missing or not keyed by texts.
    std::map<std::string, ArchivedRef> preferences;
};

}  // namespace zqb
