#pragma once

#include "model/Storable.hpp"

namespace zqb {

// Install-attribution data ("rf"), reported once per project. The builder looks the five values up under
// the predefined referral properties; a value not given stays absent.
struct Referral final : Storable {
    Referral(int64_t timestamp, int64_t sessionId, std::optional<std::string> source,
             std::optional<std::string> campaign, std::optional<std::string> content,
             std::optional<std::string> medium, std::optional<std::string> term,
             std::optional<std::vector<std::string>> inProgress = std::nullopt,
             std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "rf";
    int64_t timestamp;
    int64_t sessionId;
    std::optional<std::string> source;
    std::optional<std::string> campaign;
    std::optional<std::string> content;
    std::optional<std::string> medium;
    std::optional<std::string> term;
    std::optional<std::vector<std::string>> inProgress;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
