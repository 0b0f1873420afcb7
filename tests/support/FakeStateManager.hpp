#pragma once

#include "backend/Versions.hpp"
#include "services/ProjectConfiguration.hpp"
#include "services/StateManagerProtocol.hpp"
#include "support/SharedDatabase.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb::test {

// A state manager over records held in memory only: a project and its active user (both with row id 1),
// device identifiers and device facts. For services whose tests need no stored project or user; tests change
// the public members directly. Not thread-safe: use it from the queue the service reads it on.
class FakeStateManager : public StateManagerProtocol {
public:
    FakeStateManager();

    std::shared_ptr<Project> project;
    std::shared_ptr<User> user;
    std::vector<std::shared_ptr<User>> otherUsers;  // inactive users of the project
    std::shared_ptr<DeviceIdentifiers> deviceIdentifiers;
    ApplicationData appData;
    SdkData sdkData;
    std::optional<DeviceData> deviceData;  // nothing: the device facts "did not arrive"
    bool editorMode = false;

    bool isEditorMode() const override { return editorMode; }
    std::shared_ptr<Project> getActiveProject() override { return project; }
    std::shared_ptr<User> getActiveUser() override { return user; }
    std::shared_ptr<DeviceIdentifiers> getActiveDeviceIdentifiers() override { return deviceIdentifiers; }
    const Config& getActiveConfiguration() override { return configuration_.of(project); }
    std::vector<std::shared_ptr<User>> getAllUsers() override;
    std::vector<std::shared_ptr<User>> getInactiveProjectUsers() override { return otherUsers; }
    // Switches to a known user with this id, or to a new one (idKey: one more than the largest known).
    void activateUser(const std::string& userId) override;
    void replaceUserId(const std::shared_ptr<User>& user, const std::string& newUserId) override;
    Identifiers getIdentifiers(const User& user) override;
    Versions getVersion() override;
    ApplicationData getAppData() override { return appData; }
    SdkData getSdkData() override { return sdkData; }
    std::optional<DeviceInfo> getDeviceInfo(int64_t /*timestamp*/) override { return std::nullopt; }
    std::optional<DeviceData> getDeviceData() override { return deviceData; }
    void updateDeviceIdentifiers(std::optional<int64_t> vorantelId,
                                 std::optional<int64_t> crossPlatformVorantelId,
                                 std::optional<int64_t> vorantelIdTimestamp) override;
    void withdrawAdvertisingIdentifier() override {}

private:
    ProjectConfiguration configuration_{environmentClock()};
};

}  // namespace zqb::test
