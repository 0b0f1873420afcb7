#pragma once

#include "model/Storable.hpp"

namespace zqb {

// The user reached a tutorial step ("tr").
struct Tutorial final : Storable {
    Tutorial(int64_t timestamp, int64_t sessionId, int64_t level, int64_t step,
             std::optional<std::vector<std::string>> inProgress = std::nullopt,
             std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "tr";
    int64_t timestamp;
    int64_t sessionId;
    int64_t level;
    int64_t step;
    std::optional<std::vector<std::string>> inProgress;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
