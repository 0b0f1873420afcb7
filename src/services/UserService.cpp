#include "services/UserService.hpp"

#include "foundation/Logger.hpp"

#include <algorithm>
#include <utility>

namespace zqb {

UserService::UserService(std::shared_ptr<StateManagerProtocol> stateManager,
                         std::shared_ptr<UserRepository> userRepository,
                         std::shared_ptr<TutorialRepository> tutorialRepository)
    : stateManager_(std::move(stateManager)),
      userRepository_(std::move(userRepository)),
      tutorialRepository_(std::move(tutorialRepository)) {}

bool UserService::isDefaultUser() {
    return stateManager_->getActiveUser()->isDefaultUser;
}

bool UserService::hasBackendIds() {
    const auto identifiers = stateManager_->getActiveDeviceIdentifiers();
    return identifiers && identifiers->vorantelId && identifiers->vorantelIdTimestamp;
}

void UserService::replaceUserId(const std::shared_ptr<User>& user, const std::string& userId) {
    stateManager_->replaceUserId(user, userId);
}

void UserService::activateUser(const std::string& userId) {
    stateManager_->activateUser(userId);
}

std::optional<std::string> UserService::getActiveUserId() {
    return stateManager_->getActiveUser()->userId;
}

void UserService::removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) {
    userRepository_->deleteItems(users);
}

void UserService::resourceAggregation(bool isActive) {
    const auto user = stateManager_->getActiveUser();
    user->isResourceAggregationEnable = isActive;
    userRepository_->update(user);
    Logger::writeLog(ZQBLogLevel::debug,
                     std::string("Resource aggregation is ") + (isActive ? "Enable" : "Disable"));
}

void UserService::setUserLevel(int64_t level) {
    const auto user = stateManager_->getActiveUser();
    user->level = level;
    userRepository_->update(user);
}

int64_t UserService::getUserLevel() {
    return stateManager_->getActiveUser()->level;
}

void UserService::activateLocation(Location location) {
    location_ = std::move(location);
}

std::optional<Location> UserService::getLocation() {
    return location_;
}

void UserService::clearLocation(bool writeLog) {
    if (location_ && writeLog) {
        Logger::writeLog(ZQBLogLevel::debug, "The location: " + location_->name + " has been canceled");
    }
    location_.reset();
}

bool UserService::isTutorialStepMarked(int64_t step) {
    const int64_t userId = stateManager_->getActiveUser()->idKey;
    const auto marks = tutorialRepository_->list();
    return std::any_of(marks.begin(), marks.end(),
                       [&](const TutorialMark& mark) { return mark.userId == userId && mark.step == step; });
}

void UserService::markTutorialStep(int64_t step) {
    if (isTutorialStepMarked(step)) {
        return;
    }
    TutorialMark mark;
    mark.userId = stateManager_->getActiveUser()->idKey;
    mark.step = step;
    tutorialRepository_->insert(mark);
}

std::vector<std::shared_ptr<User>> UserService::getInactiveUsers() {
    return stateManager_->getInactiveProjectUsers();
}

std::vector<std::shared_ptr<User>> UserService::getAllUsers() {
    return stateManager_->getAllUsers();
}

void UserService::changeCurBalanceSentMark(bool isSent) {
    stateManager_->getActiveUser()->balanceIsSent = isSent;
}

bool UserService::isBalanceSentForActiveUser() {
    return stateManager_->getActiveUser()->balanceIsSent;
}

}  // namespace zqb
