#pragma once

#include "host/Clock.hpp"
#include "model/Project.hpp"
#include "model/User.hpp"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zqb {

class ProjectRepository;
class UserRepository;

// One user decision: which stored user (or new one) answers to `userId` in `project`, following the
// project configuration's `userCounting`, and making it the project's active user. Created for the decision
// and dropped after it.
class CoreHelper {
public:
    // `setByDefault`: `userId` is the device id the library chose, not an id the host gave. `resetClosure`
    // (may be empty) is called whenever the project's active user changes or a user is renamed.
    CoreHelper(std::string userId, std::shared_ptr<Project> project, bool setByDefault,
               std::shared_ptr<UserRepository> userRepository,
               std::shared_ptr<ProjectRepository> projectRepository, std::function<void()> resetClosure,
               std::shared_ptr<const host::ClockProtocol> clock);

    // The user for a given id, or for the device id when `setByDefault`.
    std::shared_ptr<User> defineActiveUser();
    // The default user: the current user when it is the default one, else the user for the device id.
    std::shared_ptr<User> defineDefaultUser();
    // Makes `currentUser` the project's active user; stores the project and resets the server ids only when
    // that changes something.
    void activateUser(const std::shared_ptr<User>& currentUser, const std::shared_ptr<Project>& project);

    // The project's active user; without one, a stored user of the project with the id asked for, else a
    // new user, stored.
    std::shared_ptr<User> getCurrentUser();
    std::shared_ptr<User> getByAccountingType(const std::shared_ptr<User>& current);
    // Gives `user` the id asked for (the old one becomes its previous id), stores it, resets the server ids.
    std::shared_ptr<User> changeUserState(const std::shared_ptr<User>& user);

    const std::vector<std::shared_ptr<User>>& projectUsers() const { return projectUsers_; }

private:
    std::shared_ptr<User> insertNewUser();
    void reset() const;

    const std::string userId_;
    const std::shared_ptr<Project> project_;
    const bool setByDefault_;
    const std::shared_ptr<UserRepository> userRepository_;
    const std::shared_ptr<ProjectRepository> projectRepository_;
    const std::function<void()> resetClosure_;
    const std::shared_ptr<const host::ClockProtocol> clock_;
    std::vector<std::shared_ptr<User>> projectUsers_;
    std::shared_ptr<User> activeUser_;
};

}  // namespace zqb
