#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zqb {

// Who a request is about: the device and user ids and the three numbers the gateway assigned. Travels only
// as request headers.
struct Identifiers {
    std::string deviceId{};
    std::optional<std::string> previousDeviceId{};
    std::optional<std::string> userId{};
    std::optional<std::string> previousUserId{};
    std::optional<int64_t> vorantelId{};
    std::optional<int64_t> crossPlatformVorantelId{};
    std::optional<int64_t> vorantelIdTimestamp{};

    bool operator==(const Identifiers&) const = default;
};

}  // namespace zqb
