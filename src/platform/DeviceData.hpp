#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zqb {

// Facts of the device. `language`, `country` and `timeZoneOffset` are refreshed at every request; the rest
// stay as first built.
struct DeviceData {
    std::optional<std::string> language;  // first preferred language, before its first "-"
    std::string country;                  // region of the current locale, "" when none
    std::string osVersion;
    std::string osName;
    std::optional<int64_t> displayPpi;
    std::optional<std::string> displayResolution;  // "<larger>x<smaller>" in pixels
    std::optional<double> displayDiagonal;         // inches, unrounded
    std::string manufacturer;
    std::string model;           // machine identifier
    int64_t timeZoneOffset = 0;  // seconds east of GMT
    bool isRooted = false;

    bool operator==(const DeviceData&) const = default;
};

}  // namespace zqb
