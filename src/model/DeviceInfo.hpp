#pragma once

#include "model/Storable.hpp"

namespace zqb {

// The device, its operating system and its identifiers ("di"), built from the platform layer's facts.
struct DeviceInfo final : Storable {
    // `displayDiagonal` is kept rounded to five decimal places (halves away from zero). A diagonal that is
    // not a finite number is treated as unknown, so the record stays encodable.
    DeviceInfo(int64_t timestamp, std::string osVersion, std::string os, std::optional<int64_t> displayPpi,
               std::optional<std::string> displayResolution, std::optional<double> displayDiagonal,
               std::string manufacturer, std::string model, int64_t timeZoneOffset, int64_t rooted,
               bool isLimitAdTrackingEnabled, std::optional<std::string> idfv,
               std::optional<std::string> idfa, std::string uuid, std::optional<int64_t> sandboxState);

    std::string code = "di";
    int64_t timestamp;
    std::string osVersion;
    std::string os;
    std::optional<int64_t> displayPpi;
    std::optional<std::string> displayResolution;
    std::optional<double> displayDiagonal;
    std::string manufacturer;
    std::string model;
    int64_t timeZoneOffset;
    int64_t rooted;  // 1 or 0, written as a number
    bool isLimitAdTrackingEnabled;
    std::optional<std::string> idfv;
    std::optional<std::string> idfa;
    std::string uuid;
    std::optional<int64_t> sandboxState;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    // Prints sandboxState between rooted and isLimitAdTrackingEnabled; the JSON writes it last.
    std::string description() const override;

    // The diagonal as the record keeps it: five decimal places, or nothing when not finite.
    static std::optional<double> roundedDiagonal(std::optional<double> diagonal);
};

}  // namespace zqb
