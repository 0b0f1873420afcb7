#include "model/SessionStart.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

SessionStart::SessionStart(int64_t timestamp, int64_t level,
                           std::optional<std::vector<std::string>> inProgress,
                           std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      level(level),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

nlohmann::ordered_json SessionStart::toJson() const {
    nlohmann::ordered_json json;
    json["code"] = code;
    json["timestamp"] = timestamp;
    json["level"] = level;
    putExperimentFields(json, inProgress, inExperiments);
    return json;
}

std::string SessionStart::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .integer("level", level)
        .experimentFields(inProgress, inExperiments)
        .str();
}

}  // namespace zqb
