#include "model/SocialNetworkPost.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

SocialNetworkPost::SocialNetworkPost(int64_t sessionId, int64_t level, std::string socialNetwork,
                                     std::string postReason,
                                     std::optional<std::vector<std::string>> inProgress,
                                     std::optional<std::string> inExperiments)
    : timestamp(currentTimestamp()),
      sessionId(sessionId),
      level(level),
      socialNetwork(std::move(socialNetwork)),
      postReason(std::move(postReason)),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

nlohmann::ordered_json SocialNetworkPost::toJson() const {
    nlohmann::ordered_json json;
    json["code"] = code;
    json["timestamp"] = timestamp;
    json["sessionId"] = sessionId;
    json["level"] = level;
    json["socialNetwork"] = socialNetwork;
    json["postReason"] = postReason;
    putExperimentFields(json, inProgress, inExperiments);
    return json;
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
