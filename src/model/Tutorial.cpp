#include "model/Tutorial.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

Tutorial::Tutorial(int64_t sessionId, int64_t level, int64_t step,
                   std::optional<std::vector<std::string>> inProgress,
                   std::optional<std::string> inExperiments)
    : timestamp(currentTimestamp()),
      sessionId(sessionId),
      level(level),
      step(step),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

nlohmann::ordered_json Tutorial::toJson() const {
    nlohmann::ordered_json json;
    json["code"] = code;
    json["timestamp"] = timestamp;
    json["sessionId"] = sessionId;
    json["level"] = level;
    json["step"] = step;
    putExperimentFields(json, inProgress, inExperiments);
    return json;
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
