#pragma once

#include "model/Storable.hpp"

namespace zqb {

// The user's tracking consent ("ts"): true when tracking was switched on, false when it is off.
struct TrackingStatus final : Storable {
    // Without experiment fields, as every builder makes it.
    TrackingStatus(int64_t timestamp, bool trackingAllowed);

    std::string code = "ts";
    int64_t timestamp;
    bool trackingAllowed;
    std::optional<std::vector<std::string>> inProgress;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
