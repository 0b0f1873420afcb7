#pragma once

#include "model/AnyCodable.hpp"
#include "model/Storable.hpp"

namespace zqb {

// An event the application defines itself ("ce"): a name with free parameters.
struct CustomEvent final : Storable {
    CustomEvent(int64_t timestamp, int64_t sessionId, int64_t level, std::string name,
                std::optional<AnyCodableMap> parameters,
                std::optional<std::vector<std::string>> inProgress = std::nullopt,
                std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "ce";
    int64_t timestamp;
    int64_t sessionId;
    int64_t level;
    std::string name;
    std::optional<AnyCodableMap> parameters;
    std::optional<std::vector<std::string>> inProgress;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    // "parameters" only when there is at least one; a value JSON cannot carry makes the encoding fail.
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
