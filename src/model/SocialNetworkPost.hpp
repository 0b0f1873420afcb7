#pragma once

#include "model/Storable.hpp"

namespace zqb {

// The user posted to a social network ("sp"), with the reason of the post.
struct SocialNetworkPost final : Storable {
    SocialNetworkPost(int64_t timestamp, int64_t sessionId, int64_t level, std::string socialNetwork,
                      std::string postReason,
                      std::optional<std::vector<std::string>> inProgress = std::nullopt,
                      std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "sp";
    int64_t timestamp;
    int64_t sessionId;
    int64_t level;
    std::string socialNetwork;
    std::string postReason;
    std::optional<std::vector<std::string>> inProgress;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
