#include "model/Alive.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

Alive::Alive(std::optional<std::string> inExperiments)
    : timestamp(currentTimestamp()), inExperiments(std::move(inExperiments)) {}

nlohmann::ordered_json Alive::toJson() const {
    nlohmann::ordered_json json;
    json["code"] = code;
    json["timestamp"] = timestamp;
    putIfPresent(json, "inExperiments", inExperiments);
    return json;
}

std::string Alive::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .optionalText("inExperiments", inExperiments)
        .str();
}

}  // namespace zqb
