#include "core/CoreHelper.hpp"

#include "backend/Config.hpp"
#include "repositories/ProjectRepository.hpp"
#include "repositories/UserRepository.hpp"
#include "services/ProjectConfiguration.hpp"

namespace zqb {
namespace {

// Runs before the state manager exists, so it reads the project's configuration itself, the same way.
bool userCounting(const Project& project, std::shared_ptr<const host::ClockProtocol> clock) {
    return ProjectConfiguration(std::move(clock)).of(project).userCounting;
}

}  // namespace

CoreHelper::CoreHelper(std::string userId, std::shared_ptr<Project> project, bool setByDefault,
                       std::shared_ptr<UserRepository> userRepository,
                       std::shared_ptr<ProjectRepository> projectRepository,
                       std::function<void()> resetClosure, std::shared_ptr<const host::ClockProtocol> clock)
    : userId_(std::move(userId)),
      project_(std::move(project)),
      setByDefault_(setByDefault),
      userRepository_(std::move(userRepository)),
      projectRepository_(std::move(projectRepository)),
      resetClosure_(std::move(resetClosure)),
      clock_(std::move(clock)) {
    for (const auto& user : userRepository_->list()) {
        if (user->projectId == project_->idKey) {
            projectUsers_.push_back(user);
        }
    }
}

void CoreHelper::reset() const {
    if (resetClosure_) {
        resetClosure_();
    }
}

std::shared_ptr<User> CoreHelper::defineActiveUser() {
    auto current = getCurrentUser();
    if (!setByDefault_) {
        return getByAccountingType(current);
    }
    if (current->isDefaultUser && (!current->userId || *current->userId != userId_)) {
        changeUserState(current);
    }
    return current;
}

std::shared_ptr<User> CoreHelper::defineDefaultUser() {
    auto current = getCurrentUser();
    if (current->isDefaultUser) {
        return current;
    }
    return getByAccountingType(current);
}

void CoreHelper::activateUser(const std::shared_ptr<User>& currentUser,
                              const std::shared_ptr<Project>& project) {
    if (project->activeUserId && *project->activeUserId == currentUser->idKey) {
        return;
    }
    project->activeUserId = currentUser->idKey;
    projectRepository_->update(project);
    reset();
}

std::shared_ptr<User> CoreHelper::getCurrentUser() {
    if (activeUser_) {
        return activeUser_;
    }
    if (project_->activeUserId) {
        for (const auto& user : userRepository_->list()) {
            if (user->idKey == *project_->activeUserId) {
                activeUser_ = user;
                return activeUser_;
            }
        }
    }
    // A project that lost its active user (a start interrupted between storing the user and the project)
    // may still hold a user with this id; a second row for it would be refused by the table and leave a
    // user without row id, so the stored one is taken.
    for (const auto& user : projectUsers_) {
        if (user->userId && *user->userId == userId_) {
            activeUser_ = user;
            return activeUser_;
        }
    }
    activeUser_ = insertNewUser();
    return activeUser_;
}

std::shared_ptr<User> CoreHelper::insertNewUser() {
    auto user = std::make_shared<User>(project_->idKey, userId_, setByDefault_);
    userRepository_->insert(user);
    return user;
}

std::shared_ptr<User> CoreHelper::getByAccountingType(const std::shared_ptr<User>& current) {
    const bool counting = userCounting(*project_, clock_);
    const bool sameId = current->userId && *current->userId == userId_;
    if (!counting) {
        return sameId ? current : changeUserState(current);
    }
    for (const auto& user : projectUsers_) {
        if (user->userId && *user->userId == userId_) {
            return user;
        }
    }
    if (current->isDefaultUser) {
        return changeUserState(current);
    }
    if (sameId) {
        return current;
    }
    return insertNewUser();
}

std::shared_ptr<User> CoreHelper::changeUserState(const std::shared_ptr<User>& user) {
    user->previousUserId = user->userId;
    user->userId = userId_;
    user->isDefaultUser = setByDefault_;
    userRepository_->update(user);
    reset();
    return user;
}

}  // namespace zqb
