#pragma once

#include "model/Storable.hpp"

namespace zqb {

// The user reached a new level ("lu"), with the balance and the currency spent, earned and bought on the
// level just finished.
struct LevelUp final : Storable {
    // The experiment fields come before the three resource maps here, as the builder passes them.
    LevelUp(int64_t timestamp, int64_t sessionId, int64_t level, std::optional<IntMap> balance,
            std::optional<std::vector<std::string>> inProgress = std::nullopt,
            std::optional<std::string> inExperiments = std::nullopt,
            std::optional<IntMap> spent = std::nullopt, std::optional<IntMap> earned = std::nullopt,
            std::optional<IntMap> bought = std::nullopt);

    std::string code = "lu";
    int64_t timestamp;
    int64_t sessionId;
    int64_t level;  // the level reached
    std::optional<IntMap> balance;
    std::optional<IntMap> spent;
    std::optional<IntMap> earned;
    std::optional<IntMap> bought;
    std::optional<std::vector<std::string>> inProgress;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    // Writes sessionId before timestamp; the text form keeps timestamp first.
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
