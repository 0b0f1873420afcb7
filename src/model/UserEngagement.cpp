#include "model/UserEngagement.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

UserEngagement::UserEngagement(int64_t timestamp, int64_t level, int64_t length, int64_t sessionId,
                               std::optional<std::vector<std::string>> inProgress,
                               std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      level(level),
      length(length),
      sessionId(sessionId),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

void UserEngagement::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("level", level);
    out.member("length", length);
    out.member("sessionId", sessionId);
    out.experimentFields(inProgress, inExperiments);
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
