#include "model/TrackingStatus.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

TrackingStatus::TrackingStatus(bool trackingAllowed)
    : timestamp(currentTimestamp()), trackingAllowed(trackingAllowed) {}

nlohmann::ordered_json TrackingStatus::toJson() const {
    nlohmann::ordered_json json;
    json["code"] = code;
    json["timestamp"] = timestamp;
    json["trackingAllowed"] = trackingAllowed;
    putExperimentFields(json, inProgress, inExperiments);
    return json;
}

std::string TrackingStatus::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .boolean("trackingAllowed", trackingAllowed)
        .experimentFields(inProgress, inExperiments)
        .str();
}

}  // namespace zqb
