#pragma once

#include "model/Storable.hpp"

namespace zqb {

// Outcome and circumstances of a finished progression location: the nested "parameters" object.
struct ProgressionEventParams {
    explicit ProgressionEventParams(bool success, std::optional<int64_t> duration = std::nullopt,
                                    std::optional<int64_t> difficulty = std::nullopt,
                                    std::optional<std::string> source = std::nullopt);

    bool success;
    std::optional<int64_t> duration;  // seconds
    std::optional<int64_t> difficulty;
    std::optional<std::string> source;

    // Its members, into the object `out` has open.
    void writeMembers(JsonWriter& out) const;
    bool operator==(const ProgressionEventParams&) const = default;
};

// A progression location (a level, a stage, a dungeon) was finished ("pe").
struct ProgressionEvent final : Storable {
    ProgressionEvent(int64_t timestamp, int64_t sessionId, int64_t level, std::string name,
                     std::optional<IntMap> spent, std::optional<IntMap> earned,
                     ProgressionEventParams parameters,
                     std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "pe";
    int64_t timestamp;
    int64_t sessionId;
    int64_t level;
    std::string name;
    std::optional<IntMap> spent;
    std::optional<IntMap> earned;
    ProgressionEventParams parameters;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
