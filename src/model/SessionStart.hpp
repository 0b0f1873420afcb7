#pragma once

#include "model/Storable.hpp"

namespace zqb {

// The start of a session ("ss"). It carries no session id: its time stamp is the session's id, the moment
// the session began, whenever the record is built.
struct SessionStart final : Storable {
    SessionStart(int64_t timestamp, int64_t level,
                 std::optional<std::vector<std::string>> inProgress = std::nullopt,
                 std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "ss";
    int64_t timestamp;
    int64_t level;
    std::optional<std::vector<std::string>> inProgress;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
