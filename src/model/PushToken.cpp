#include "model/PushToken.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

PushToken::PushToken(std::string token, bool isAllowed, std::optional<std::string> inExperiments)
    : timestamp(currentTimestamp()),
      isAllowed(isAllowed),
      token(std::move(token)),
      inExperiments(std::move(inExperiments)) {}

nlohmann::ordered_json PushToken::toJson() const {
    nlohmann::ordered_json json;
    json["code"] = code;
    json["timestamp"] = timestamp;
    json["isAllowed"] = isAllowed;
    json["token"] = token;
    putIfPresent(json, "inExperiments", inExperiments);
    return json;
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
