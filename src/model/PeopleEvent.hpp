#pragma once

#include "model/PeopleValueType.hpp"
#include "model/Storable.hpp"

namespace zqb {

// The reported values of the user card ("pl").
struct PeopleEvent final : Storable {
    PeopleEvent(int64_t timestamp, int64_t sessionId, int64_t level, std::optional<PeopleValueMap> parameters,
                std::optional<std::vector<std::string>> inProgress = std::nullopt,
                std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "pl";
    int64_t timestamp;
    int64_t sessionId;
    int64_t level;
    std::optional<PeopleValueMap> parameters;
    std::optional<std::vector<std::string>> inProgress;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    // "parameters" is null when absent; an unset property is null inside it. Values are written as the
    // card's JSON text reads back, and a map that cannot be written at all becomes {}: the event is still
    // sent.
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
