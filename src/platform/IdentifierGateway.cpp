#include "platform/IdentifierGateway.hpp"

namespace zqb {

IdentifierGateway::IdentifierGateway(
    std::shared_ptr<IdentifierInfoRepositoryProtocol> identifierInfoRepository)
    : identifierInfoRepository_(std::move(identifierInfoRepository)) {}

IdentifierData IdentifierGateway::identifierData() {
    std::lock_guard lock(mutex_);
    if (!identifierData_) {
        IdentifierData data;
        // The user's answer is read once, so that the ids and the record agree on it.
        data.isLimitAdTrackingEnabled = withdrawn_ || identifierInfoRepository_->isLimitAdTrackingEnabled();
        data.deviceUIDs = identifierInfoRepository_->obtainDeviceUIDs(!data.isLimitAdTrackingEnabled);
        data.idfv = identifierInfoRepository_->idfv();
        if (!data.isLimitAdTrackingEnabled) {
            data.idfa = identifierInfoRepository_->idfa();
        }
        data.uuid = identifierInfoRepository_->uuid();
        identifierData_ = std::move(data);
    }
    return *identifierData_;
}

void IdentifierGateway::withdrawAdvertisingIdentifier() {
    std::lock_guard lock(mutex_);
    withdrawn_ = true;
    if (!identifierData_ || identifierData_->isLimitAdTrackingEnabled) {
        return;
    }
    identifierData_->isLimitAdTrackingEnabled = true;
    identifierData_->idfa.reset();
    identifierData_->deviceUIDs = identifierInfoRepository_->obtainDeviceUIDs(false);
}

void IdentifierGateway::setIdentifierData(IdentifierData data) {
    std::lock_guard lock(mutex_);
    identifierData_ = std::move(data);
}

}  // namespace zqb
