#include "model/TrackingStatus.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

TrackingStatus::TrackingStatus(int64_t timestamp, bool trackingAllowed)
    : timestamp(timestamp), trackingAllowed(trackingAllowed) {}

void TrackingStatus::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("trackingAllowed", trackingAllowed);
    out.experimentFields(inProgress, inExperiments);
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
