#pragma once

#include "model/Location.hpp"
#include "model/User.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// The active user's state that the analytics logic needs between calls: identity, level, resource
// aggregation, the progression location and the tutorial steps already reported. Called on the income queue.
class UserServiceProtocol {
public:
    virtual ~UserServiceProtocol() = default;

    virtual bool isDefaultUser() = 0;
    // True when the active project's device identifiers hold a server id and its timestamp.
    virtual bool hasBackendIds() = 0;
    virtual void replaceUserId(const std::shared_ptr<User>& user, const std::string& userId) = 0;
    virtual void activateUser(const std::string& userId) = 0;
    virtual std::optional<std::string> getActiveUserId() = 0;
    // Deletes the users' rows; their events, resources, reports and cards are the other services' to remove.
    virtual void removeInactiveUserData(const std::vector<std::shared_ptr<User>>& users) = 0;
    virtual void resourceAggregation(bool isActive) = 0;
    virtual void setUserLevel(int64_t level) = 0;
    virtual int64_t getUserLevel() = 0;
    virtual void activateLocation(Location location) = 0;
    virtual std::optional<Location> getLocation() = 0;
    virtual void clearLocation(bool writeLog) = 0;
    virtual bool isTutorialStepMarked(int64_t step) = 0;
    virtual void markTutorialStep(int64_t step) = 0;
    virtual std::vector<std::shared_ptr<User>> getInactiveUsers() = 0;
    virtual std::vector<std::shared_ptr<User>> getAllUsers() = 0;
    // The in-memory mark that the current balance was reported for the loaded active user.
    virtual void changeCurBalanceSentMark(bool isSent) = 0;
    virtual bool isBalanceSentForActiveUser() = 0;
};

}  // namespace zqb
