#include "model/UserEngagement.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

UserEngagement::UserEngagement(int64_t level, int64_t length, int64_t sessionId,
                               std::optional<std::vector<std::string>> inProgress,
                               std::optional<std::string> inExperiments)
    : timestamp(currentTimestamp()),
      level(level),
      length(length),
      sessionId(sessionId),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

nlohmann::ordered_json UserEngagement::toJson() const {
    nlohmann::ordered_json json;
    json["code"] = code;
    json["timestamp"] = timestamp;
    json["level"] = level;
    json["length"] = length;
    json["sessionId"] = sessionId;
    putExperimentFields(json, inProgress, inExperiments);
    return json;
}

std::string UserEngagement::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .integer("sessionId", sessionId)
        .integer("level", level)
        .integer("length", length)
        .experimentFields(inProgress, inExperiments)
        .str();
}

}  // namespace zqb
