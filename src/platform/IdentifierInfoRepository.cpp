#include "platform/IdentifierInfoRepository.hpp"

namespace zqb {

IdentifierInfoRepository::IdentifierInfoRepository(std::shared_ptr<IdentifierCollectorProtocol> collector,
                                                   std::shared_ptr<PlatformStorageProtocol> platformStorage)
    : platformStorage_(std::move(platformStorage)), collector_(std::move(collector)) {}

bool IdentifierInfoRepository::isLimitAdTrackingEnabled() const {
    return !collector_->isAdvertisingTrackingEnabled();
}

std::optional<std::string> IdentifierInfoRepository::idfa() const {
    return collector_->idfa();
}

std::optional<std::string> IdentifierInfoRepository::idfv() const {
    return collector_->idfv();
}

std::string IdentifierInfoRepository::uuid() {
    return collector_->uuid();
}

DeviceUIDs IdentifierInfoRepository::obtainDeviceUIDs(bool advertisingAllowed) {
    return collector_->getUIDs(advertisingAllowed);
}

}  // namespace zqb
