#pragma once

#include <optional>
#include <string>

namespace zqb {

// The device id in use and the one it replaced, as the keychain keeps them.
struct DeviceUIDs {
    std::string current;
    std::optional<std::string> prev;

    bool operator==(const DeviceUIDs&) const = default;
};

// Identifier facts of the device and the installation; built once per platform facade.
struct IdentifierData {
    DeviceUIDs deviceUIDs;
    bool isLimitAdTrackingEnabled = false;  // advertising tracking is not allowed
    std::optional<std::string> idfv;        // vendor identifier
    std::optional<std::string> idfa;        // advertising identifier; absent when all zeros
    std::string uuid;                       // the installation's own id, made once and kept in the keychain

    bool operator==(const IdentifierData&) const = default;
};

}  // namespace zqb
