#include "services/ProjectService.hpp"

#include "foundation/Logger.hpp"
#include "model/JsonText.hpp"
#include "services/ProjectConfiguration.hpp"
#include "validation/Validator.hpp"

#include <algorithm>
#include <utility>

namespace zqb {

ProjectService::ProjectService(std::shared_ptr<StateManagerProtocol> stateManager,
                               std::shared_ptr<ProjectRepository> projectRepository,
                               std::shared_ptr<RealPaymentRepository> realPaymentRepository,
                               std::shared_ptr<const host::ClockProtocol> clock)
    : stateManager_(std::move(stateManager)),
      projectRepository_(std::move(projectRepository)),
      realPaymentRepository_(std::move(realPaymentRepository)),
      clock_(std::move(clock)) {}

const Config& ProjectService::activeConfig() {
    return stateManager_->getActiveConfiguration();
}

void ProjectService::setTrackingAvailable(bool value) {
    for (const auto& project : projectRepository_->list()) {
        project->trackingAvailable = value;
        projectRepository_->update(project);
    }
    Logger::writeLog(ZQBLogLevel::info, std::string("Tracking status is ") + (value ? "Enable" : "Disable"));
}

bool ProjectService::getTrackingAvailable() {
    return stateManager_->getActiveProject()->trackingAvailable;
}

bool ProjectService::userCounting() {
    return activeConfig().userCounting;
}

bool ProjectService::isRefererSent() {
    return stateManager_->getActiveProject()->isReferralSent;
}

void ProjectService::setIsRefererSent(bool value) {
    const auto project = stateManager_->getActiveProject();
    if (!project->trackingAvailable) {
        return;
    }
    project->isReferralSent = value;
    projectRepository_->update(project);
}

int64_t ProjectService::paramsCount() {
    return activeConfig().eventParamsCount;
}

bool ProjectService::isCurrencyPaymentMarked(const std::string& orderId) {
    const int64_t projectId = stateManager_->getActiveProject()->idKey;
    const auto marks = realPaymentRepository_->list();
    return std::any_of(marks.begin(), marks.end(), [&](const RealPaymentMark& mark) {
        return mark.projectId == projectId && mark.orderId == orderId;
    });
}

void ProjectService::markCurrencyPayment(const std::string& orderId) {
    RealPaymentMark mark;
    mark.projectId = stateManager_->getActiveProject()->idKey;
    mark.orderId = orderId;
    realPaymentRepository_->insert(mark);
}

ApplicationData ProjectService::getAppData() {
    return stateManager_->getAppData();
}

SdkData ProjectService::getSdkData() {
    return stateManager_->getSdkData();
}

std::optional<DeviceInfo> ProjectService::getDeviceInfo(int64_t timestamp) {
    return stateManager_->getDeviceInfo(timestamp);
}

std::shared_ptr<DeviceIdentifiers> ProjectService::getDeviceIdentifiers() {
    return stateManager_->getActiveDeviceIdentifiers();
}

Config ProjectService::merged(const Config& stored, const Config& received) {
    Config result = received;
    if (stored.exclude && received.exclude && stored.exclude->version == received.exclude->version) {
        result.exclude = stored.exclude;
    }
    if (stored.sbsConfigVersion == received.sbsConfigVersion) {
        result.sbsBundles = stored.sbsBundles;
    }
    return result;
}

void ProjectService::applyConfig(const Config& config) {
    const auto project = stateManager_->getActiveProject();
    const Config result = merged(stateManager_->getActiveConfiguration(), config);

    project->configurationJson = ProjectConfiguration::encode(result, *clock_);
    projectRepository_->update(project);
    Logger::writeLog(ZQBLogLevel::debug,
                     "The SDK analytics configuration has been received:\n " + toPrettyJson(result));

    std::optional<ExcludedOptions> options;
    if (result.exclude && result.exclude->events) {
        options.emplace(result.exclude->events->begin(), result.exclude->events->end());
    }
    Validator::setExcludedOptions(std::move(options));
}

bool ProjectService::checkIfNeedRemoveUsersData(const Config& config) {
    return activeConfig().userCounting && !config.userCounting;
}

}  // namespace zqb
