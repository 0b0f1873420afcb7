#pragma once

#include "model/Storable.hpp"

namespace zqb {

// The device's push token and whether the user allows notifications ("pt").
struct PushToken final : Storable {
    PushToken(int64_t timestamp, std::string token, bool isAllowed,
              std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "pt";
    int64_t timestamp;
    bool isAllowed;
    std::string token;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
