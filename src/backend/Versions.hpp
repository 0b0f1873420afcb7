#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace zqb {

// The body of the configuration request: which library the device runs and which exclusion and
// subscription settings it already has.
struct Versions {
    std::string sdkVersion{};
    int64_t sdkCodeVersion = 0;
    std::optional<std::string> appVersion{};
    std::optional<std::string> appBuildVersion{};  // never sent
    std::optional<int64_t> excludeVersion{};
    std::optional<int64_t> sbsConfigVersion{};

    bool operator==(const Versions&) const = default;
};

// "sdkVersion", "sdkCodeVersion", "appVersion" (null when absent), then "excludeVersion" and
// "sbsConfigVersion" only when present.
void to_json(nlohmann::ordered_json& json, const Versions& versions);

}  // namespace zqb
