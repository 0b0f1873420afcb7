#pragma once

#include "model/Project.hpp"
#include "model/User.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zqb {

class UserRepository;

// The rules that find or create the project of the application key and choose its active user.
class CoreManagerProtocol {
public:
    // Writes the three server-assigned numbers of the project's device identifiers (absent clears).
    using IdentifiersReset =
        std::function<void(std::optional<int64_t> vorantelId, std::optional<int64_t> crossPlatformVorantelId,
                           std::optional<int64_t> vorantelIdTimestamp)>;

    virtual ~CoreManagerProtocol() = default;

    // The stored project of the key, or a new one, stored.
    virtual std::shared_ptr<Project> createOrActivateProject() = 0;
    // The user for `userId` (`setByDefault`: the id is the device id chosen by the library), made the
    // project's active user.
    virtual std::shared_ptr<User> createOrActivateUser(const std::string& userId,
                                                       const std::shared_ptr<Project>& project,
                                                       bool setByDefault) = 0;
    // The project's default user (the device id `userId`), made the project's active user.
    virtual std::shared_ptr<User> createOrActivateDefaultUser(const std::string& userId,
                                                              const std::shared_ptr<Project>& project) = 0;

    // Every stored user of every project.
    virtual std::shared_ptr<UserRepository> userRepository() const = 0;

    // Called with three absent values whenever the project's active user changes or a user is renamed.
    virtual void setOnIdentifiersReset(IdentifiersReset closure) = 0;
};

}  // namespace zqb
