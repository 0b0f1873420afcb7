#pragma once

#include "model/PeopleValueType.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// What one legacy source yields for the migration: the user, its card, order ids and tutorial steps. Read
// from the engine plug-in's JSON file, or built from the native library's archive.
struct MigrationObject {
    std::optional<std::string> deviceId;
    std::optional<std::string> prevDeviceId;
    std::optional<std::string> userId;
    std::optional<std::string> prevUserId;
    bool trackingAvailable = true;
    std::optional<int64_t> level;
    PeopleValueMap userCard;
    std::vector<std::string> transactionIds;
    std::vector<int64_t> tutorCompletedSteps;

    // The printed form of the migration's log line: one tab-indented line per field that is present (the
    // tracking flag always), the card's entries, order ids and steps below their labels.
    std::string description() const;
};

// Reads the plug-in's JSON object. Throws for a top level that is not an object, an identifier that is not a
// string or null, and a level that is not an integer or null. Never fails on the other fields: a mistyped
// "trackingAvailable" is true, a mistyped card, order-id list or step list is empty, and card values other
// than booleans, texts, integers within 64 bits and other numbers are left out.
void from_json(const nlohmann::ordered_json& json, MigrationObject& object);

}  // namespace zqb
