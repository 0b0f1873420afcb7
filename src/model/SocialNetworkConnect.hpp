#pragma once

#include "model/Storable.hpp"

namespace zqb {

// The user connected a social network ("sc").
struct SocialNetworkConnect final : Storable {
    SocialNetworkConnect(int64_t timestamp, int64_t sessionId, int64_t level, std::string socialNetwork,
                         std::optional<std::vector<std::string>> inProgress = std::nullopt,
                         std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "sc";
    int64_t timestamp;
    int64_t sessionId;
    int64_t level;
    std::string socialNetwork;
    std::optional<std::vector<std::string>> inProgress;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
