#include "model/SocialNetworkPost.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

SocialNetworkPost::SocialNetworkPost(int64_t timestamp, int64_t sessionId, int64_t level,
                                     std::string socialNetwork, std::string postReason,
                                     std::optional<std::vector<std::string>> inProgress,
                                     std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      sessionId(sessionId),
      level(level),
      socialNetwork(std::move(socialNetwork)),
      postReason(std::move(postReason)),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

void SocialNetworkPost::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("sessionId", sessionId);
    out.member("level", level);
    out.member("socialNetwork", socialNetwork);
    out.member("postReason", postReason);
    out.experimentFields(inProgress, inExperiments);
}

std::string SocialNetworkPost::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .integer("sessionId", sessionId)
        .integer("level", level)
        .text("socialNetwork", socialNetwork)
        .text("postReason", postReason)
        .experimentFields(inProgress, inExperiments)
        .str();
}

}  // namespace zqb
