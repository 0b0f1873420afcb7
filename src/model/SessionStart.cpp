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

void SessionStart::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("level", level);
    out.experimentFields(inProgress, inExperiments);
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
