#include "model/CustomEvent.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

CustomEvent::CustomEvent(int64_t timestamp, int64_t sessionId, int64_t level, std::string name,
                         std::optional<AnyCodableMap> parameters,
                         std::optional<std::vector<std::string>> inProgress,
                         std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      sessionId(sessionId),
      level(level),
      name(std::move(name)),
      parameters(std::move(parameters)),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

void CustomEvent::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("sessionId", sessionId);
    out.member("level", level);
    out.member("name", name);
    if (parameters && !parameters->empty()) {
        out.key("parameters");
        out.beginObject();
        for (const auto& [key, value] : *parameters) {
            out.key(key);
            out.value(value);
        }
        out.endObject();
    }
    out.experimentFields(inProgress, inExperiments);
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
