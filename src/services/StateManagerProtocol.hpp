#pragma once

#include "model/DeviceIdentifiers.hpp"
#include "model/DeviceInfo.hpp"
#include "model/Identifiers.hpp"
#include "model/Project.hpp"
#include "model/User.hpp"
#include "platform/ApplicationData.hpp"
#include "platform/DeviceData.hpp"
#include "platform/SdkData.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

struct Config;
struct Versions;

// Identity and place as the services see them: the project of the application key, its active user and the
// project's device identifiers. The project and the user are shared objects: a service that changes a field
// changes it for every reader, and a repository write stores it.
//
// Called on the income queue. `getIdentifiers` and `getVersion` build the snapshots that work on other
// queues carries along; they are taken on the income queue too.
class StateManagerProtocol {
public:
    virtual ~StateManagerProtocol() = default;

    // True while the engine runs in editor mode: application version and build are then left out.
    virtual bool isEditorMode() const = 0;

    // Never null once start-up has built the manager.
    virtual std::shared_ptr<Project> getActiveProject() = 0;
    virtual std::shared_ptr<User> getActiveUser() = 0;
    // The active project's device identifiers, created when missing and refreshed when the device id
    // changed.
    virtual std::shared_ptr<DeviceIdentifiers> getActiveDeviceIdentifiers() = 0;
    // The active project's analytics configuration: the one decoding of the text the project stores, made
    // again only when that text changed; the built-in default when it stores none or a text that is not a
    // configuration. Every service and the logic read the configuration here. The object stays the same
    // from call to call and shows the configuration of the last call.
    virtual const Config& getActiveConfiguration() = 0;

    // Every stored user of every project.
    virtual std::vector<std::shared_ptr<User>> getAllUsers() = 0;
    // The stored users of the active project other than the active user.
    virtual std::vector<std::shared_ptr<User>> getInactiveProjectUsers() = 0;

    // Makes the user with this id (the default user for an empty id) the active user.
    virtual void activateUser(const std::string& userId) = 0;
    // Renames a stored user: the old id becomes its previous id and it is no longer the default user.
    virtual void replaceUserId(const std::shared_ptr<User>& user, const std::string& userId) = 0;

    // Device ids and server-assigned numbers of the active project with the ids of `user`.
    virtual Identifiers getIdentifiers(const User& user) = 0;
    virtual Versions getVersion() = 0;
    virtual ApplicationData getAppData() = 0;
    virtual SdkData getSdkData() = 0;
    // The device-information event made at `timestamp`, or nothing when the device facts did not arrive in
    // time.
    virtual std::optional<DeviceInfo> getDeviceInfo(int64_t timestamp) = 0;
    virtual std::optional<DeviceData> getDeviceData() = 0;

    // Writes the three server-assigned numbers of the active project's device identifiers; an absent value
    // clears the stored one.
    virtual void updateDeviceIdentifiers(std::optional<int64_t> vorantelId,
                                         std::optional<int64_t> crossPlatformVorantelId,
                                         std::optional<int64_t> vorantelIdTimestamp) = 0;

    // The advertising identifier is not used from here on, whatever the user answered (the host switched
    // tracking off): a device id that was one is replaced now, with no previous id, and nothing stored
    // keeps it. Switched on again, it is the device id again from the next start.
    virtual void withdrawAdvertisingIdentifier() = 0;
};

}  // namespace zqb
