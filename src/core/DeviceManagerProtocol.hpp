#pragma once

#include "model/DeviceIdentifiers.hpp"
#include "model/Project.hpp"
#include "platform/ApplicationData.hpp"
#include "platform/DeviceData.hpp"
#include "platform/IdentifierData.hpp"
#include "platform/SdkData.hpp"

#include <memory>
#include <optional>

namespace zqb {

class PlatformProtocol;

// Device identifiers per project, the platform's facts, and the library version last seen on the device.
// Used on the income queue.
class DeviceManagerProtocol {
public:
    virtual ~DeviceManagerProtocol() = default;

    // The project's row of device identifiers: created when missing, brought up to date when the device id
    // changed (the old id becomes the previous one and the three server-assigned numbers are cleared).
    // Once the advertising identifier is not allowed, the row keeps none: a change away from one has no
    // previous id.
    virtual std::shared_ptr<DeviceIdentifiers> initializeDeviceId(const Project& project) = 0;
    // The advertising identifier is not used from here on, whatever the user answered (the host switched
    // the library's tracking off); the next `initializeDeviceId` removes it from what is stored.
    virtual void withdrawAdvertisingIdentifier() = 0;
    // The device facts, waiting for them for a bounded time; nothing when they did not arrive in time.
    virtual std::optional<DeviceData> getDeviceData() = 0;
    virtual ApplicationData getAppData() = 0;
    virtual IdentifierData getIdentifiersData() = 0;
    virtual SdkData getSdkData() = 0;
    virtual void updateDeviceIdentifiers(const std::shared_ptr<DeviceIdentifiers>& identifiers) = 0;
    // True when the library version differs from the one recorded at the last start (and records it),
    // false when it is the same, nothing at the first start.
    virtual std::optional<bool> sdkVersionIsChanged() = 0;
};

}  // namespace zqb
