#include "model/PushOpened.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

PushOpened::PushOpened(int64_t timestamp, int64_t pushId, std::optional<std::string> button,
                       std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      pushId(pushId),
      button(std::move(button)),
      inExperiments(std::move(inExperiments)) {}

nlohmann::ordered_json PushOpened::toJson() const {
    nlohmann::ordered_json json;
    json["code"] = code;
    json["timestamp"] = timestamp;
    json["pushId"] = pushId;
    putIfPresent(json, "button", button);
    putIfPresent(json, "inExperiments", inExperiments);
    return json;
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
