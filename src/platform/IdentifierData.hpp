#pragma once

#include <optional>
#include <string>

namespace zqb {

// The device id in use and the one it replaced, as the keychain keeps them, and which of them is an
// advertising identifier (ids kept before the library marked them count as not being one).
struct DeviceUIDs {
    std::string current;
    std::optional<std::string> prev;
    bool currentIsAdvertising = false;
    bool prevIsAdvertising = false;

    bool operator==(const DeviceUIDs&) const = default;
};

// Identifier facts of the device and the installation; built once per platform facade.
struct IdentifierData {
    DeviceUIDs deviceUIDs;
    // The advertising identifier may not be used: the user does not allow tracking, or the library's
    // tracking is off for the project.
    bool isLimitAdTrackingEnabled = false;
    std::optional<std::string> idfv;  // vendor identifier
    std::optional<std::string> idfa;  // advertising identifier; absent when all zeros or not allowed
    std::string uuid;                 // the installation's own id, made once and kept in the keychain

    bool operator==(const IdentifierData&) const = default;
};

}  // namespace zqb
