#pragma once

#include "database/SQLiteValue.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zqb {

// The device ids of a project and the numbers the gateway assigned (a row of "deviceIdentifiers").
struct DeviceIdentifiers {
    // New identifiers, without the gateway's numbers.
    DeviceIdentifiers(int64_t projectId, std::string deviceIdentifier, std::string uuid,
                      std::optional<std::string> previousDeviceIdentifier = std::nullopt,
                      std::optional<int64_t> vorantelIdTimestamp = std::nullopt)
        : projectId(projectId),
          deviceIdentifier(std::move(deviceIdentifier)),
          previousDeviceIdentifier(std::move(previousDeviceIdentifier)),
          vorantelIdTimestamp(vorantelIdTimestamp),
          uuid(std::move(uuid)) {}

    int64_t idKey = -1;
    int64_t projectId = -1;
    std::string deviceIdentifier;
    std::optional<std::string> previousDeviceIdentifier;
    std::optional<int64_t> vorantelId;
    std::optional<int64_t> crossPlatformVorantelId;
    std::optional<int64_t> vorantelIdTimestamp;
    std::string uuid;

    // Columns: 0 id, 1 projectId, 2 deviceIdentifier required; 3 previousDeviceIdentifier, 4 vorantelId,
    // 5 crossPlatformVorantelId optional; 6 uuid required; 7 vorantelIdTimestamp optional (the column was
    // added later, so it follows uuid).
    static std::shared_ptr<DeviceIdentifiers> fromRow(const SQLiteRow& row);
};

}  // namespace zqb
