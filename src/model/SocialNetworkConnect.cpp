#include "model/SocialNetworkConnect.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

SocialNetworkConnect::SocialNetworkConnect(int64_t timestamp, int64_t sessionId, int64_t level,
                                           std::string socialNetwork,
                                           std::optional<std::vector<std::string>> inProgress,
                                           std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      sessionId(sessionId),
      level(level),
      socialNetwork(std::move(socialNetwork)),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

void SocialNetworkConnect::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("sessionId", sessionId);
    out.member("level", level);
    out.member("socialNetwork", socialNetwork);
    out.experimentFields(inProgress, inExperiments);
}

std::string SocialNetworkConnect::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .integer("sessionId", sessionId)
        .integer("level", level)
        .text("socialNetwork", socialNetwork)
        .experimentFields(inProgress, inExperiments)
        .str();
}

}  // namespace zqb
