#include "core/CoreManager.hpp"

#include "core/CoreHelper.hpp"
#include "repositories/ProjectRepository.hpp"
#include "repositories/UserRepository.hpp"

namespace zqb {

CoreManager::CoreManager(std::string applicationKey, std::shared_ptr<ProjectRepository> projectRepository,
                         std::shared_ptr<UserRepository> userRepository,
                         std::shared_ptr<const host::ClockProtocol> clock)
    : applicationKey_(std::move(applicationKey)),
      projectRepository_(std::move(projectRepository)),
      userRepository_(std::move(userRepository)),
      clock_(std::move(clock)) {}

std::shared_ptr<Project> CoreManager::storedProject() const {
    for (const auto& project : projectRepository_->list()) {
        if (project->applicationKey == applicationKey_) {
            return project;
        }
    }
    return nullptr;
}

std::shared_ptr<Project> CoreManager::createOrActivateProject() {
    if (auto stored = storedProject()) {
        return stored;
    }
    auto project = std::make_shared<Project>(applicationKey_);
    projectRepository_->insert(project);
    return project;
}

std::function<void()> CoreManager::resetClosure() const {
    if (!onIdentifiersReset_) {
        return nullptr;
    }
    return [reset = onIdentifiersReset_] { reset(std::nullopt, std::nullopt, std::nullopt); };
}

std::shared_ptr<User> CoreManager::createOrActivateUser(const std::string& userId,
                                                        const std::shared_ptr<Project>& project,
                                                        bool setByDefault) {
    CoreHelper helper(userId, project, setByDefault, userRepository_, projectRepository_, resetClosure(),
                      clock_);
    auto user = helper.defineActiveUser();
    helper.activateUser(user, project);
    return user;
}

std::shared_ptr<User> CoreManager::createOrActivateDefaultUser(const std::string& userId,
                                                               const std::shared_ptr<Project>& project) {
    CoreHelper helper(userId, project, true, userRepository_, projectRepository_, resetClosure(), clock_);
    auto user = helper.defineDefaultUser();
    helper.activateUser(user, project);
    return user;
}

}  // namespace zqb
