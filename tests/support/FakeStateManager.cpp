#include "support/FakeStateManager.hpp"

#include <algorithm>

namespace zqb::test {

FakeStateManager::FakeStateManager()
    : project(std::make_shared<Project>("test-app-key")),
      user(std::make_shared<User>(1, std::string("user-1"), false)),
      deviceIdentifiers(std::make_shared<DeviceIdentifiers>(1, "device-1", "uuid-1")) {
    project->idKey = 1;
    project->activeUserId = 1;
    user->idKey = 1;
    deviceIdentifiers->idKey = 1;
    appData.applicationVersion = "1.2.3";
    appData.applicationBuildVersion = "45";
    appData.applicationBundle = "com.example.zqbtestapp";
    sdkData.sdkVersion = "2.1.2";
    sdkData.sdkCodeVersion = 10;
    DeviceData device;
    device.language = "en";
    device.country = "US";
    device.osVersion = "12.0";
    device.osName = "Linux";
    deviceData = device;
}

std::vector<std::shared_ptr<User>> FakeStateManager::getAllUsers() {
    std::vector<std::shared_ptr<User>> users{user};
    users.insert(users.end(), otherUsers.begin(), otherUsers.end());
    return users;
}

void FakeStateManager::activateUser(const std::string& userId) {
    auto users = getAllUsers();
    const auto found =
        std::find_if(users.begin(), users.end(), [&](const auto& known) { return known->userId == userId; });
    std::shared_ptr<User> next;
    if (found != users.end()) {
        next = *found;
    } else {
        int64_t largest = 0;
        for (const auto& known : users) {
            largest = std::max(largest, known->idKey);
        }
        next = std::make_shared<User>(project->idKey, userId, false);
        next->idKey = largest + 1;
    }
    std::erase_if(otherUsers, [&](const auto& known) { return known == next; });
    if (next != user) {
        otherUsers.push_back(user);
    }
    user = next;
    project->activeUserId = user->idKey;
}

void FakeStateManager::replaceUserId(const std::shared_ptr<User>& renamed, const std::string& newUserId) {
    renamed->previousUserId = renamed->userId;
    renamed->userId = newUserId;
    renamed->isDefaultUser = false;
}

Identifiers FakeStateManager::getIdentifiers(const User& forUser) {
    Identifiers identifiers;
    identifiers.deviceId = deviceIdentifiers->deviceIdentifier;
    identifiers.previousDeviceId = deviceIdentifiers->previousDeviceIdentifier;
    identifiers.userId = forUser.userId;
    identifiers.previousUserId = forUser.previousUserId;
    identifiers.vorantelId = deviceIdentifiers->vorantelId;
    identifiers.crossPlatformVorantelId = deviceIdentifiers->crossPlatformVorantelId;
    identifiers.vorantelIdTimestamp = deviceIdentifiers->vorantelIdTimestamp;
    return identifiers;
}

Versions FakeStateManager::getVersion() {
    Versions versions;
    versions.sdkVersion = sdkData.sdkVersion;
    versions.sdkCodeVersion = sdkData.sdkCodeVersion;
    if (!editorMode) {
        versions.appVersion = appData.applicationVersion;
        versions.appBuildVersion = appData.applicationBuildVersion;
    }
    return versions;
}

void FakeStateManager::updateDeviceIdentifiers(std::optional<int64_t> vorantelId,
                                               std::optional<int64_t> crossPlatformVorantelId,
                                               std::optional<int64_t> vorantelIdTimestamp) {
    deviceIdentifiers->vorantelId = vorantelId;
    deviceIdentifiers->crossPlatformVorantelId = crossPlatformVorantelId;
    deviceIdentifiers->vorantelIdTimestamp = vorantelIdTimestamp;
}

}  // namespace zqb::test
