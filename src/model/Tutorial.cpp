#include "model/Tutorial.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

Tutorial::Tutorial(int64_t timestamp, int64_t sessionId, int64_t level, int64_t step,
                   std::optional<std::vector<std::string>> inProgress,
                   std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      sessionId(sessionId),
      level(level),
      step(step),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

void Tutorial::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("sessionId", sessionId);
    out.member("level", level);
    out.member("step", step);
    out.experimentFields(inProgress, inExperiments);
}

std::string Tutorial::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .integer("sessionId", sessionId)
        .integer("level", level)
        .integer("step", step)
        .experimentFields(inProgress, inExperiments)
        .str();
}

}  // namespace zqb
