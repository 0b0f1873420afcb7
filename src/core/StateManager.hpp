#pragma once

#include "core/CoreManagerProtocol.hpp"
#include "core/DeviceManagerProtocol.hpp"
#include "migration/SDKMigrationManagerProtocol.hpp"
#include "services/ProjectConfiguration.hpp"
#include "services/StateManagerProtocol.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zqb {

// Identity and place of a running core: the project of the application key, its active user, and the
// project's device identifiers. Built once per start-up, after the device manager; used on the income
// queue only (other queues work on the snapshots taken there).
class StateManager final : public StateManagerProtocol {
public:
    // Whether the engine runs in editor mode; asked each time, so that a later switch counts. The core hands
    // in a closure that holds it weakly, so that a late reader never brings a released core back.
    using EditorMode = std::function<bool()>;

    // Records a changed library version, finds or creates the project, settles its device identifiers, runs
    // the one-time migration and chooses the active user: for an absent `userId` the user of the device id,
    // for an empty one the default user, otherwise the user with that id.
    StateManager(std::shared_ptr<DeviceManagerProtocol> deviceManager,
                 std::shared_ptr<CoreManagerProtocol> coreManager,
                 std::shared_ptr<SDKMigrationManagerProtocol> migrationManager,
                 std::shared_ptr<const host::ClockProtocol> clock, const std::optional<std::string>& userId,
                 EditorMode editorMode = nullptr);

    bool isEditorMode() const override;
    std::shared_ptr<Project> getActiveProject() override { return activeProject_; }
    std::shared_ptr<User> getActiveUser() override { return activeUser_; }
    std::shared_ptr<DeviceIdentifiers> getActiveDeviceIdentifiers() override;
    const Config& getActiveConfiguration() override { return configuration_.of(activeProject_); }
    std::vector<std::shared_ptr<User>> getAllUsers() override;
    std::vector<std::shared_ptr<User>> getInactiveProjectUsers() override;
    void activateUser(const std::string& userId) override;
    void replaceUserId(const std::shared_ptr<User>& user, const std::string& userId) override;
    Identifiers getIdentifiers(const User& user) override;
    Versions getVersion() override;
    ApplicationData getAppData() override;
    SdkData getSdkData() override;
    std::optional<DeviceInfo> getDeviceInfo(int64_t timestamp) override;
    std::optional<DeviceData> getDeviceData() override;
    void updateDeviceIdentifiers(std::optional<int64_t> vorantelId,
                                 std::optional<int64_t> crossPlatformVorantelId,
                                 std::optional<int64_t> vorantelIdTimestamp) override;
    void withdrawAdvertisingIdentifier() override;

    const std::shared_ptr<DeviceManagerProtocol>& deviceManager() const { return deviceManager_; }
    const std::shared_ptr<CoreManagerProtocol>& coreManager() const { return coreManager_; }
    const std::shared_ptr<SDKMigrationManagerProtocol>& migrationManager() const { return migrationManager_; }

private:
    const std::shared_ptr<DeviceManagerProtocol> deviceManager_;
    const std::shared_ptr<CoreManagerProtocol> coreManager_;
    const std::shared_ptr<SDKMigrationManagerProtocol> migrationManager_;
    const EditorMode editorMode_;
    std::shared_ptr<Project> activeProject_;
    std::shared_ptr<User> activeUser_;
    ProjectConfiguration configuration_;
    CoreManagerProtocol::IdentifiersReset resetClosure_;
};

}  // namespace zqb
