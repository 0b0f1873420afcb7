#pragma once

#include "platform/ApplicationGateway.hpp"
#include "platform/DeviceInfoGateway.hpp"
#include "platform/IdentifierCollector.hpp"
#include "platform/IdentifierGateway.hpp"
#include "platform/PlatformStorage.hpp"
#include "platform/RootedCheck.hpp"
#include "platform/SDKGateway.hpp"

#include <functional>
#include <memory>

namespace zqb {

class PlatformProtocol {
public:
    virtual ~PlatformProtocol() = default;
    virtual ApplicationData getApplicationData() = 0;
    // Delivers one device record to the completion, possibly later and on another thread; the caller may
    // block its own thread waiting for it (not the run loop's thread).
    virtual void getDeviceData(std::function<void(DeviceData)> completionHandler) = 0;
    virtual IdentifierData getIdentifierData() = 0;
    virtual SdkData getSdkData() = 0;
    // The advertising identifier is not used from here on, whatever the user answered (the host switched
    // the library's tracking off): the identifier facts are gathered again without it, and the keychain
    // keeps none.
    virtual void withdrawAdvertisingIdentifier() = 0;
};

// The platform facade: builds every collector, repository and gateway once, over the host stand-ins of
// `environment`, and lives until the library is destroyed. Every operation may be called from any
// thread.
class PlatformiOS final : public PlatformProtocol {
public:
    // `rootedCheck` replaces the default jailbreak check (no probes on Linux), for tests.
    PlatformiOS(std::shared_ptr<PlatformStorageProtocol> platformStorage, host::Environment& environment,
                std::shared_ptr<RootedCheckProtocol> rootedCheck = nullptr);

    ApplicationData getApplicationData() override;
    void getDeviceData(std::function<void(DeviceData)> completionHandler) override;
    IdentifierData getIdentifierData() override;
    SdkData getSdkData() override;
    void withdrawAdvertisingIdentifier() override;

    const std::shared_ptr<ApplicationGatewayProtocol>& applicationGateway() const {
        return applicationGateway_;
    }
    const std::shared_ptr<DeviceInfoGatewayProtocol>& deviceGateway() const { return deviceGateway_; }
    const std::shared_ptr<IdentifierGatewayProtocol>& identifierGateway() const { return identifierGateway_; }
    const std::shared_ptr<SDKGatewayProtocol>& sdkGateway() const { return sdkGateway_; }
    const std::shared_ptr<PlatformStorageProtocol>& platformStorage() const { return platformStorage_; }

    // The keychain items that gathering the identifiers writes wait for `writeHeldKeychainItems()`, for a
    // start-up that gathers them before it knows it can go on.
    void holdKeychainWrites();
    void writeHeldKeychainItems();

private:
    std::shared_ptr<IdentifierCollector> identifierCollector_;
    std::shared_ptr<ApplicationGatewayProtocol> applicationGateway_;
    std::shared_ptr<DeviceInfoGatewayProtocol> deviceGateway_;
    std::shared_ptr<IdentifierGatewayProtocol> identifierGateway_;
    std::shared_ptr<SDKGatewayProtocol> sdkGateway_;
    std::shared_ptr<PlatformStorageProtocol> platformStorage_;
};

}  // namespace zqb
