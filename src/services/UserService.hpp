#pragma once

#include "repositories/TutorialRepository.hpp"
#include "repositories/UserRepository.hpp"
#include "services/StateManagerProtocol.hpp"
#include "services/UserServiceProtocol.hpp"

#include <memory>

namespace zqb {

class UserService final : public UserServiceProtocol {
public:
    UserService(std::shared_ptr<StateManagerProtocol> stateManager,
                std::shared_ptr<UserRepository> userRepository,
                std::shared_ptr<TutorialRepository> tutorialRepository);

    bool isDefaultUser() override;
    bool hasBackendIds() override;
    void replaceUserId(const std::shared_ptr<User>& user, const std::string& userId) override;
    void activateUser(const std::string& userId) override;
    std::optional<std::string> getActiveUserId() override;
    void removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) override;
    void resourceAggregation(bool isActive) override;
    void setUserLevel(int64_t level) override;
    int64_t getUserLevel() override;
    void activateLocation(Location location) override;
    std::optional<Location> getLocation() override;
    void clearLocation(bool writeLog) override;
    bool isTutorialStepMarked(int64_t step) override;
    void markTutorialStep(int64_t step) override;
    std::vector<std::shared_ptr<User>> getInactiveUsers() override;
    std::vector<std::shared_ptr<User>> getAllUsers() override;
    void changeCurBalanceSentMark(bool isSent) override;
    bool isBalanceSentForActiveUser() override;

private:
    std::shared_ptr<StateManagerProtocol> stateManager_;
    std::shared_ptr<UserRepository> userRepository_;
    std::shared_ptr<TutorialRepository> tutorialRepository_;
    std::optional<Location> location_;
};

}  // namespace zqb
