#include "model/ProgressionEvent.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

ProgressionEventParams::ProgressionEventParams(bool success, std::optional<int64_t> duration,
                                               std::optional<int64_t> difficulty,
                                               std::optional<std::string> source)
    : success(success), duration(duration), difficulty(difficulty), source(std::move(source)) {}

void ProgressionEventParams::writeMembers(JsonWriter& out) const {
    out.member("success", success);
    out.memberIfPresent("duration", duration);
    out.memberIfPresent("difficulty", difficulty);
    out.memberIfPresent("source", source);
}

ProgressionEvent::ProgressionEvent(int64_t timestamp, int64_t sessionId, int64_t level, std::string name,
                                   std::optional<IntMap> spent, std::optional<IntMap> earned,
                                   ProgressionEventParams parameters,
                                   std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      sessionId(sessionId),
      level(level),
      name(std::move(name)),
      spent(std::move(spent)),
      earned(std::move(earned)),
      parameters(std::move(parameters)),
      inExperiments(std::move(inExperiments)) {}

void ProgressionEvent::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("sessionId", sessionId);
    out.member("level", level);
    out.member("name", name);
    out.memberIfPresent("spent", spent);
    out.memberIfPresent("earned", earned);
    out.key("parameters");
    out.beginObject();
    parameters.writeMembers(out);
    out.endObject();
    out.memberIfPresent("inExperiments", inExperiments);
}

std::string ProgressionEvent::description() const {
    RecordDescription text;
    text.text("code", code)
        .integer("timestamp", timestamp)
        .integer("sessionId", sessionId)
        .integer("level", level)
        .text("name", name)
        .mapBlock("spent", spent, "resource", "amount")
        .mapBlock("earned", earned, "resource", "amount");
    text.raw("\t parameters:\n");
    text.raw(parameters.success ? "\t\t success: true\n" : "\t\t success: false\n");
    if (parameters.duration) {
        text.raw("\t\t duration: " + std::to_string(*parameters.duration) + "\n");
    }
    if (parameters.difficulty) {
        text.raw("\t\t difficulty: " + std::to_string(*parameters.difficulty) + "\n");
    }
    if (parameters.source) {
        text.raw("\t\t source: " + *parameters.source + "\n");
    }
    return text.optionalText("inExperiments", inExperiments).str();
}

}  // namespace zqb
