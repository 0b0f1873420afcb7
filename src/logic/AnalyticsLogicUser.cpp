#include "logic/AnalyticsLogic.hpp"

#include "foundation/Logger.hpp"
#include "foundation/SdkConstraints.hpp"
#include "foundation/TextUtils.hpp"
#include "logic/AnalyticsLogicSupport.hpp"
#include "model/LevelUp.hpp"
#include "model/TrackingStatus.hpp"
#include "services/ConfigServiceProctocol.hpp"
#include "services/CurrencyAccrualServiceProtocol.hpp"
#include "services/LevelResourceServiceProtocol.hpp"
#include "services/ProjectServiceProtocol.hpp"
#include "services/ReportServiceProtocol.hpp"
#include "services/StateManagerProtocol.hpp"
#include "services/UserServiceProtocol.hpp"

#include <algorithm>
#include <limits>
#include <utility>

namespace zqb {
using logic_support::nonEmpty;

namespace {

std::string enableText(bool value) {
    return value ? "Enable" : "Disable";
}

bool sameId(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    if (!a || !b) {
        return !a && !b;
    }
    return text::canonicallyEqual(*a, *b);
}

bool sameId(const std::optional<std::string>& a, const std::string& b) {
    return a && text::canonicallyEqual(*a, b);
}

}  // namespace

// Identity, level and tracking

void AnalyticsLogic::stopSDK() {
    if (lifeCycle_) {
        lifeCycle_->setLifeCycleListener({});
    }
    stopActivity();
    reportService_->finishSending();
    configService_->stop();
}

void AnalyticsLogic::getDeviceId(StringCompletion completion) {
    const auto identifiers = projectService_->getDeviceIdentifiers();
    completion(identifiers ? identifiers->deviceIdentifier : std::string());
}

void AnalyticsLogic::getSDKVersion(StringCompletion completion) {
    completion(SdkConstraints::sdkVersion());
}

void AnalyticsLogic::getTrackingAvailability(BoolCompletion completion) {
    completion(trackingAvailable());
}

void AnalyticsLogic::getUserId(StringCompletion completion) {
    completion(activeUser()->userId.value_or(""));
}

void AnalyticsLogic::getCurrentLevel(LevelCompletion completion) {
    completion(activeUser()->level);
}

void AnalyticsLogic::closeSessionForUserSwitch() {
    addCurrencyAccrual();
    stopActivity();
}

void AnalyticsLogic::setUserId(std::string userId) {
    const auto current = activeUser();
    if (sameId(current->userId, userId)) {
        Logger::writeLog(ZQBLogLevel::warning,
                         "The current userId is equal to the new userId [" + userId + "]!");
        return;
    }
    const auto identifiers = projectService_->getDeviceIdentifiers();
    if (identifiers && text::canonicallyEqual(userId, identifiers->deviceIdentifier)) {
        Logger::writeLog(ZQBLogLevel::warning, "The userId matches the deviceId [" + userId +
                                                   "]!\t\nSetting up a userId is not possible!");
        return;
    }
    if (current->isDefaultUser && userId.empty()) {
        Logger::writeLog(ZQBLogLevel::warning, "The current user is already a default user!");
        return;
    }
    const std::string previous = current->userId.value_or("");

    // With user counting every id is a user of its own. Leaving a named user, or the default user for
    // another user already stored, switches to another record: the old user's session ends first, so that
    // no event of the new user carries it. The default user taking its first id stays the same record.
    bool switchesUser = false;
    if (projectService_->userCounting()) {
        if (!current->isDefaultUser) {
            switchesUser = true;
        } else {
            for (const auto& user : stateManager_->getInactiveProjectUsers()) {
                if (user && sameId(user->userId, userId)) {
                    switchesUser = true;
                    break;
                }
            }
        }
    }
    if (switchesUser) {
        closeSessionForUserSwitch();
        userService_->activateUser(userId);
        userService_->clearLocation(true);
        userService_->changeCurBalanceSentMark(false);
        startActivity(ActivityStart::operation);
        sendDeviceInfo();
        reportService_->sendBufferedEvents();
    } else {
        userService_->activateUser(userId);
    }

    const auto now = activeUser();
    Logger::writeLog(ZQBLogLevel::info,
                     "The userId [" + previous + "] changed to [" + now->userId.value_or("") + "]");
    if (now->isDefaultUser) {
        Logger::writeLog(ZQBLogLevel::debug, "Default user activated!");
    }
    if (!userService_->hasBackendIds() && trackingAvailable()) {
        configService_->receiveUserBackendIds();
    }
}

void AnalyticsLogic::replaceUserId(std::string fromUserId, std::string toUserId) {
    const int64_t projectId = stateManager_->getActiveProject()->idKey;
    std::vector<std::shared_ptr<User>> projectUsers;
    for (auto& user : userService_->getAllUsers()) {
        if (user && user->projectId == projectId) {
            projectUsers.push_back(std::move(user));
        }
    }
    const auto findUser = [&projectUsers](const std::string& id) -> std::shared_ptr<User> {
        const auto found = std::find_if(projectUsers.begin(), projectUsers.end(),
                                        [&id](const auto& user) { return sameId(user->userId, id); });
        return found == projectUsers.end() ? nullptr : *found;
    };

    const auto fromUser = findUser(fromUserId);
    if (!fromUser) {
        Logger::writeLog(ZQBLogLevel::warning,
                         "The userId: [" + fromUserId + "] not found!\t\nReplace not possible!");
        return;
    }
    const auto identifiers = projectService_->getDeviceIdentifiers();
    if (identifiers && text::canonicallyEqual(toUserId, identifiers->deviceIdentifier)) {
        Logger::writeLog(ZQBLogLevel::warning,
                         "The toUserId matches the deviceId [" + toUserId + "]!\t\nReplace not possible!");
        return;
    }
    if (text::canonicallyEqual(fromUserId, toUserId)) {
        Logger::writeLog(ZQBLogLevel::warning, "The fromUserId is equal to the toUserId [" + toUserId +
                                                   "]!\t\nReplace not possible!");
        return;
    }
    const auto rememberedId = activeUser()->userId;

    // When the id to take over belongs to the active user, the from-user becomes active and the holder is
    // deleted: the holder's session ends before that, and the from-user's opens once it has its new id.
    bool switchesUser = false;
    if (const auto holder = findUser(toUserId)) {
        if (sameId(rememberedId, toUserId)) {
            switchesUser = holder->idKey != fromUser->idKey;
            if (switchesUser) {
                closeSessionForUserSwitch();
            }
            userService_->activateUser(fromUserId);
            if (switchesUser) {
                // The holder's progression ends with its session: the user who takes over never started it.
                userService_->clearLocation(true);
            }
        }
        removeUsers({holder});
    }
    userService_->replaceUserId(fromUser, toUserId);
    if (!userService_->hasBackendIds() && trackingAvailable()) {
        configService_->receiveUserBackendIds();
    }
    const auto now = activeUser();
    if (switchesUser) {
        startActivity(ActivityStart::operation);
    }
    if (!now->isDefaultUser && projectService_->userCounting() && !sameId(now->userId, rememberedId)) {
        userService_->clearLocation(true);
    }
    sendDeviceInfo();
    generatePeopleEvent(false);
    reportService_->sendBufferedEvents();
    Logger::writeLog(ZQBLogLevel::info, "UserId: [" + fromUserId + "] renamed to [" + toUserId + "]");
}

void AnalyticsLogic::setCurrentLevel(int64_t level) {
    if (level != activeUser()->level) {
        addCurrencyAccrual();
        reportService_->sendBufferedEvents();
        levelResourceService_->removeResourcesForActiveUser();
        userService_->resourceAggregation(false);
    }
    userService_->setUserLevel(level);
    Logger::writeLog(ZQBLogLevel::info, "Set level [" + std::to_string(level) + "] for user [" +
                                            activeUser()->userId.value_or("") + "]");
}

void AnalyticsLogic::levelUp(int64_t level, IntMap balances) {
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    addCurrencyAccrual();
    const int64_t previousLevel = user->level;
    LevelUp event(now(), *user->sessionId, level, nonEmpty(std::move(balances)), inProgress());
    // Only the level just finished has its resources reported; a jump or a step down reports none.
    if (previousLevel < std::numeric_limits<int64_t>::max() && level == previousLevel + 1) {
        event.spent = levelResourceService_->getSpentResources();
        event.earned = levelResourceService_->getEarnedResources();
        event.bought = levelResourceService_->getBoughtResources();
    }
    // The finished level's rows go before its event is stored: rows that outlived it would be reported again
    // with the next level. Rows that cannot go are reported with a later level-up instead. The accruals were
    // reported and removed above, or stay for a later event when they could not be.
    if (!levelResourceService_->removeResourcesForActiveUser()) {
        event.spent.reset();
        event.earned.reset();
        event.bought.reset();
    }
    userService_->resourceAggregation(true);
    userService_->setUserLevel(level);
    store(event);
    generatePeopleEvent(false);
    reportService_->sendBufferedEvents();
}

void AnalyticsLogic::setTrackingAvailability(bool value) {
    const bool current = trackingAvailable();
    if (value == current) {
        Logger::writeLog(ZQBLogLevel::info, "Tracking status is already " + enableText(value));
        if (value) {
            store(TrackingStatus(now(), true));
        }
        return;
    }
    if (!value) {
        removeEventsAndResources();
        stopActivity();
        // Still on at this point, so the events service takes this last status.
        store(TrackingStatus(now(), false));
        generatePeopleEvent(false);
        // What still goes out, this status first, names the device by an id that is no advertising
        // identifier; an identifiers request made with the one withdrawn sends nothing more.
        stateManager_->withdrawAdvertisingIdentifier();
        configService_->resetUserBackendIds();
        reportService_->sendBufferedEvents();
        projectService_->setTrackingAvailable(false);
        stateManager_->updateDeviceIdentifiers(std::nullopt, std::nullopt, std::nullopt);
        return;
    }
    projectService_->setTrackingAvailable(true);
    store(TrackingStatus(now(), true));
    if (started_) {
        reportService_->sendBufferedEvents();
        startActivity(ActivityStart::operation);
        configService_->receiveSdkConfig();
        configService_->receiveUserBackendIds();
    } else {
        startSDK(ActivityStart::operation);
    }
}

}  // namespace zqb
