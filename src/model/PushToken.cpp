#include "model/PushToken.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

PushToken::PushToken(int64_t timestamp, std::string token, bool isAllowed,
                     std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      isAllowed(isAllowed),
      token(std::move(token)),
      inExperiments(std::move(inExperiments)) {}

void PushToken::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("isAllowed", isAllowed);
    out.member("token", token);
    out.memberIfPresent("inExperiments", inExperiments);
}

std::string PushToken::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .boolean("isAllowed", isAllowed)
        .text("token", token)
        .optionalText("inExperiments", inExperiments)
        .str();
}

}  // namespace zqb
