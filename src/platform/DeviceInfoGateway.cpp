#include "platform/DeviceInfoGateway.hpp"

namespace zqb {

DeviceInfoGateway::DeviceInfoGateway(std::shared_ptr<DeviceInfoRepositoryProtocol> deviceInfoRepository)
    : deviceInfoRepository_(std::move(deviceInfoRepository)) {}

std::optional<DeviceData> DeviceInfoGateway::savedData() const {
    std::lock_guard lock(mutex_);
    return savedData_;
}

DeviceData DeviceInfoGateway::build(bool isRooted) const {
    DeviceData data;
    data.language = deviceInfoRepository_->language();
    data.country = deviceInfoRepository_->country();
    data.osVersion = deviceInfoRepository_->osVersion();
    data.displayPpi = deviceInfoRepository_->displayPpi();
    data.displayResolution = deviceInfoRepository_->displayResolution();
    data.displayDiagonal = deviceInfoRepository_->displayDiagonal();
    data.model = deviceInfoRepository_->model();
    data.timeZoneOffset = deviceInfoRepository_->timeZoneOffset();
    data.osName = deviceInfoRepository_->osName();
    data.manufacturer = deviceInfoRepository_->manufacturer();
    data.isRooted = isRooted;
    return data;
}

DeviceData DeviceInfoGateway::keep(const DeviceData& built) {
    std::lock_guard lock(mutex_);
    if (savedData_) {
        // Another check answered first: the kept record stays, with the fresher changeable facts, so that
        // no request ever sees the fixed facts change.
        savedData_->language = built.language;
        savedData_->country = built.country;
        savedData_->timeZoneOffset = built.timeZoneOffset;
    } else {
        savedData_ = built;
    }
    return *savedData_;
}

DeviceData DeviceInfoGateway::refreshed() {
    // Read outside the lock: these calls reach the host.
    const std::string country = deviceInfoRepository_->country();
    const std::optional<std::string> language = deviceInfoRepository_->language();
    const int64_t offset = deviceInfoRepository_->timeZoneOffset();
    std::lock_guard lock(mutex_);
    savedData_->country = country;
    savedData_->language = language;
    savedData_->timeZoneOffset = offset;
    return *savedData_;
}

void DeviceInfoGateway::getDeviceData(std::function<void(DeviceData)> completionHandler) {
    bool haveRecord = false;
    {
        std::lock_guard lock(mutex_);
        haveRecord = savedData_.has_value();
    }
    if (haveRecord) {
        completionHandler(refreshed());
        return;
    }
    std::weak_ptr<DeviceInfoGateway> weakSelf = weak_from_this();
    deviceInfoRepository_->isRooted(
        [weakSelf, completionHandler = std::move(completionHandler)](bool isRooted) {
            const auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            const DeviceData data = self->keep(self->build(isRooted));
            completionHandler(data);
        });
}

}  // namespace zqb
