#include "model/CustomEvent.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

CustomEvent::CustomEvent(int64_t sessionId, int64_t level, std::string name,
                         std::optional<AnyCodableMap> parameters,
                         std::optional<std::vector<std::string>> inProgress,
                         std::optional<std::string> inExperiments)
    : timestamp(currentTimestamp()),
      sessionId(sessionId),
      level(level),
      name(std::move(name)),
      parameters(std::move(parameters)),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

nlohmann::ordered_json CustomEvent::toJson() const {
    nlohmann::ordered_json json;
    json["code"] = code;
    json["timestamp"] = timestamp;
    json["sessionId"] = sessionId;
    json["level"] = level;
    json["name"] = name;
    if (parameters && !parameters->empty()) {
        auto& object = json["parameters"] = nlohmann::ordered_json::object();
        for (const auto& [key, value] : *parameters) {
            object[key] = value.toJson();
        }
    }
    putExperimentFields(json, inProgress, inExperiments);
    return json;
}

std::string CustomEvent::description() const {
    RecordDescription text;
    text.text("code", code)
        .integer("timestamp", timestamp)
        .integer("sessionId", sessionId)
        .integer("level", level)
        .text("name", name)
        .parameterBlock(parameters);
    return text.experimentFields(inProgress, inExperiments).str();
}

}  // namespace zqb
