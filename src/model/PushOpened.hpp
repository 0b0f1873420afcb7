#pragma once

#include "model/Storable.hpp"

namespace zqb {

// The user opened a push notification ("po"). The time is the one the messaging module passed, kept as it
// is, not the time of building.
struct PushOpened final : Storable {
    PushOpened(int64_t timestamp, int64_t pushId, std::optional<std::string> button,
               std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "po";
    int64_t timestamp;
    int64_t pushId;
    std::optional<std::string> button;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
