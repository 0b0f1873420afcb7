#include "platform/PlatformiOS.hpp"

#include "platform/ApplicationCollector.hpp"
#include "platform/DeviceInfoCollector.hpp"
#include "platform/IdentifierCollector.hpp"
#include "platform/SDKCollector.hpp"

namespace zqb {

PlatformiOS::PlatformiOS(std::shared_ptr<PlatformStorageProtocol> platformStorage,
                         host::Environment& environment, std::shared_ptr<RootedCheckProtocol> rootedCheck)
    : platformStorage_(std::move(platformStorage)) {
    if (!rootedCheck) {
        rootedCheck = std::make_shared<RootedCheck>(false, environment);
    }
    auto applicationCollector = std::make_shared<ApplicationCollector>(environment.bundle(), false);
    auto sdkCollector = std::make_shared<SDKCollector>();
    identifierCollector_ = std::make_shared<IdentifierCollector>(environment);
    auto deviceCollector = std::make_shared<DeviceInfoCollector>(false, environment);

    applicationGateway_ = std::make_shared<ApplicationGateway>(
        std::make_shared<ApplicationInfoRepository>(std::move(applicationCollector)));
    deviceGateway_ = std::make_shared<DeviceInfoGateway>(
        std::make_shared<DeviceInfoRepository>(std::move(deviceCollector), std::move(rootedCheck)));
    identifierGateway_ = std::make_shared<IdentifierGateway>(
        std::make_shared<IdentifierInfoRepository>(identifierCollector_, platformStorage_));
    sdkGateway_ = std::make_shared<SDKGateway>(std::make_shared<SDKRepository>(std::move(sdkCollector)));
}

ApplicationData PlatformiOS::getApplicationData() {
    return applicationGateway_->applicationData();
}

void PlatformiOS::getDeviceData(std::function<void(DeviceData)> completionHandler) {
    deviceGateway_->getDeviceData(std::move(completionHandler));
}

IdentifierData PlatformiOS::getIdentifierData() {
    return identifierGateway_->identifierData();
}

void PlatformiOS::withdrawAdvertisingIdentifier() {
    identifierGateway_->withdrawAdvertisingIdentifier();
}

void PlatformiOS::holdKeychainWrites() {
    identifierCollector_->holdWrites();
}

void PlatformiOS::writeHeldKeychainItems() {
    identifierCollector_->writeHeldItems();
}

SdkData PlatformiOS::getSdkData() {
    return sdkGateway_->sdkData();
}

}  // namespace zqb
