#include "platform/ApplicationGateway.hpp"

namespace zqb {

ApplicationGateway::ApplicationGateway(
    std::shared_ptr<ApplicationInfoRepositoryProtocol> applicationRepository)
    : appRepository_(std::move(applicationRepository)) {}

ApplicationData ApplicationGateway::applicationData() {
    std::lock_guard lock(mutex_);
    if (!applicationData_) {
        ApplicationData data;
        data.applicationVersion = appRepository_->applicationVersion();
        data.applicationBuildVersion = appRepository_->applicationBuildVersion();
        data.applicationBundle = appRepository_->applicationBundle();
        data.sandboxState = appRepository_->sandboxState();
        applicationData_ = std::move(data);
    }
    return *applicationData_;
}

void ApplicationGateway::setApplicationData(ApplicationData data) {
    std::lock_guard lock(mutex_);
    applicationData_ = std::move(data);
}

}  // namespace zqb
