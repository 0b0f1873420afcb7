#include "platform/IdentifierGateway.hpp"

namespace zqb {

IdentifierGateway::IdentifierGateway(
    std::shared_ptr<IdentifierInfoRepositoryProtocol> identifierInfoRepository)
    : identifierInfoRepository_(std::move(identifierInfoRepository)) {}

IdentifierData IdentifierGateway::identifierData() {
    std::lock_guard lock(mutex_);
    if (!identifierData_) {
        IdentifierData data;
        data.deviceUIDs = identifierInfoRepository_->obtainDeviceUIDs();
        data.isLimitAdTrackingEnabled = identifierInfoRepository_->isLimitAdTrackingEnabled();
        data.idfv = identifierInfoRepository_->idfv();
        data.idfa = identifierInfoRepository_->idfa();
        data.uuid = identifierInfoRepository_->uuid();
        identifierData_ = std::move(data);
    }
    return *identifierData_;
}

void IdentifierGateway::setIdentifierData(IdentifierData data) {
    std::lock_guard lock(mutex_);
    identifierData_ = std::move(data);
}

}  // namespace zqb
