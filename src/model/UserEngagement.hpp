#pragma once

#include "model/Storable.hpp"

namespace zqb {

// How long the application stayed in the foreground ("ue"), recorded when the activity stops.
struct UserEngagement final : Storable {
    UserEngagement(int64_t timestamp, int64_t level, int64_t length, int64_t sessionId,
                   std::optional<std::vector<std::string>> inProgress = std::nullopt,
                   std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "ue";
    int64_t timestamp;
    int64_t level;
    int64_t length;  // whole seconds, at least 1
    int64_t sessionId;
    std::optional<std::vector<std::string>> inProgress;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    // Keys: code, timestamp, level, length, sessionId; the text form prints sessionId before level.
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
