#include "model/PushOpened.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

PushOpened::PushOpened(int64_t timestamp, int64_t pushId, std::optional<std::string> button,
                       std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      pushId(pushId),
      button(std::move(button)),
      inExperiments(std::move(inExperiments)) {}

void PushOpened::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("pushId", pushId);
    out.memberIfPresent("button", button);
    out.memberIfPresent("inExperiments", inExperiments);
}

std::string PushOpened::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .integer("pushId", pushId)
        .optionalText("button", button)
        .optionalText("inExperiments", inExperiments)
        .str();
}

}  // namespace zqb
