#include "platform/SDKGateway.hpp"

namespace zqb {

SDKGateway::SDKGateway(std::shared_ptr<SDKRepositoryProtocol> sdkRepository)
    : sdkRepository_(std::move(sdkRepository)) {}

SdkData SDKGateway::sdkData() {
    std::lock_guard lock(mutex_);
    if (!sdkData_) {
        sdkData_ = SdkData{sdkRepository_->sdkVersion(), sdkRepository_->sdkCodeVersion()};
    }
    return *sdkData_;
}

}  // namespace zqb
