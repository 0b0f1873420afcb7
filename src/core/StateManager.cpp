#include "core/StateManager.hpp"

#include "backend/Config.hpp"
#include "backend/Versions.hpp"
#include "foundation/Logger.hpp"
#include "foundation/SdkConstraints.hpp"
#include "repositories/UserRepository.hpp"

namespace zqb {

StateManager::StateManager(std::shared_ptr<DeviceManagerProtocol> deviceManager,
                           std::shared_ptr<CoreManagerProtocol> coreManager,
                           std::shared_ptr<SDKMigrationManagerProtocol> migrationManager,
                           std::shared_ptr<const host::ClockProtocol> clock,
                           const std::optional<std::string>& userId, EditorMode editorMode)
    : deviceManager_(std::move(deviceManager)),
      coreManager_(std::move(coreManager)),
      migrationManager_(std::move(migrationManager)),
      editorMode_(std::move(editorMode)),
      configuration_(std::move(clock)) {
    if (deviceManager_->sdkVersionIsChanged() == true) {
        Logger::writeLog(ZQBLogLevel::debug, "SDK version updated");
    }
    auto project = coreManager_->createOrActivateProject();
    const auto identifiers = deviceManager_->initializeDeviceId(*project);
    if (!project->isMigrated && migrationManager_) {
        migrationManager_->migrate(project);
    }

    resetClosure_ = [deviceManager = deviceManager_, project](std::optional<int64_t> vorantelId,
                                                              std::optional<int64_t> crossPlatformVorantelId,
                                                              std::optional<int64_t> vorantelIdTimestamp) {
        const auto row = deviceManager->initializeDeviceId(*project);
        row->vorantelId = vorantelId;
        row->crossPlatformVorantelId = crossPlatformVorantelId;
        row->vorantelIdTimestamp = vorantelIdTimestamp;
        deviceManager->updateDeviceIdentifiers(row);
    };

    // The user is chosen before the core manager gets the reset closure: choosing the user at start-up
    // leaves the stored server ids as they are.
    if (!userId) {
        activeUser_ = coreManager_->createOrActivateUser(identifiers->deviceIdentifier, project, true);
    } else if (userId->empty()) {
        activeUser_ = coreManager_->createOrActivateDefaultUser(identifiers->deviceIdentifier, project);
    } else {
        activeUser_ = coreManager_->createOrActivateUser(*userId, project, false);
    }
    coreManager_->setOnIdentifiersReset(resetClosure_);
    activeProject_ = std::move(project);
}

bool StateManager::isEditorMode() const {
    return editorMode_ && editorMode_();
}

std::shared_ptr<DeviceIdentifiers> StateManager::getActiveDeviceIdentifiers() {
    return deviceManager_->initializeDeviceId(*activeProject_);
}

std::vector<std::shared_ptr<User>> StateManager::getAllUsers() {
    return coreManager_->userRepository()->list();
}

std::vector<std::shared_ptr<User>> StateManager::getInactiveProjectUsers() {
    std::vector<std::shared_ptr<User>> users;
    for (const auto& user : coreManager_->userRepository()->list()) {
        if (user->projectId == activeProject_->idKey && user->idKey != activeUser_->idKey) {
            users.push_back(user);
        }
    }
    return users;
}

void StateManager::activateUser(const std::string& userId) {
    const auto identifiers = deviceManager_->initializeDeviceId(*activeProject_);
    if (!userId.empty()) {
        activeUser_ = coreManager_->createOrActivateUser(userId, activeProject_, false);
    } else {
        activeUser_ =
            coreManager_->createOrActivateDefaultUser(identifiers->deviceIdentifier, activeProject_);
    }
}

void StateManager::replaceUserId(const std::shared_ptr<User>& user, const std::string& userId) {
    user->previousUserId = user->userId;
    user->userId = userId;
    user->isDefaultUser = false;
    coreManager_->userRepository()->update(user);
    if (user->idKey == activeUser_->idKey) {
        activeUser_ = user;
        resetClosure_(std::nullopt, std::nullopt, std::nullopt);
    }
}

Identifiers StateManager::getIdentifiers(const User& user) {
    const auto identifiers = deviceManager_->initializeDeviceId(*activeProject_);
    Identifiers result;
    result.deviceId = identifiers->deviceIdentifier;
    result.previousDeviceId = identifiers->previousDeviceIdentifier;
    result.userId = user.userId;
    result.previousUserId = user.previousUserId;
    result.vorantelId = identifiers->vorantelId;
    result.crossPlatformVorantelId = identifiers->crossPlatformVorantelId;
    result.vorantelIdTimestamp = identifiers->vorantelIdTimestamp;
    return result;
}

Versions StateManager::getVersion() {
    Versions versions;
    versions.sdkVersion = SdkConstraints::sdkVersion();
    versions.sdkCodeVersion = SdkConstraints::sdkCodeVersion;
    if (!isEditorMode()) {
        const ApplicationData application = deviceManager_->getAppData();
        versions.appVersion = application.applicationVersion;
        versions.appBuildVersion = application.applicationBuildVersion;
    }
    const Config& config = getActiveConfiguration();
    if (config.exclude) {
        versions.excludeVersion = config.exclude->version;
    }
    versions.sbsConfigVersion = config.sbsConfigVersion;
    return versions;
}

ApplicationData StateManager::getAppData() {
    return deviceManager_->getAppData();
}

SdkData StateManager::getSdkData() {
    return deviceManager_->getSdkData();
}

std::optional<DeviceInfo> StateManager::getDeviceInfo(int64_t timestamp) {
    const auto data = deviceManager_->getDeviceData();
    if (!data) {
        return std::nullopt;
    }
    const IdentifierData identifiers = deviceManager_->getIdentifiersData();
    const ApplicationData application = deviceManager_->getAppData();
    return DeviceInfo(timestamp, data->osVersion, data->osName, data->displayPpi, data->displayResolution,
                      data->displayDiagonal, data->manufacturer, data->model, data->timeZoneOffset,
                      data->isRooted ? 1 : 0, !identifiers.idfa.has_value(), identifiers.idfv,
                      identifiers.idfa, identifiers.uuid, application.sandboxState);
}

std::optional<DeviceData> StateManager::getDeviceData() {
    return deviceManager_->getDeviceData();
}

void StateManager::updateDeviceIdentifiers(std::optional<int64_t> vorantelId,
                                           std::optional<int64_t> crossPlatformVorantelId,
                                           std::optional<int64_t> vorantelIdTimestamp) {
    resetClosure_(vorantelId, crossPlatformVorantelId, vorantelIdTimestamp);
}

void StateManager::withdrawAdvertisingIdentifier() {
    deviceManager_->withdrawAdvertisingIdentifier();
    deviceManager_->initializeDeviceId(*activeProject_);
}

}  // namespace zqb
