#include "logic/AnalyticsLogic.hpp"

#include "foundation/Logger.hpp"
#include "logic/AnalyticsLogicSupport.hpp"
#include "model/Alive.hpp"
#include "model/CurrencyAccrual.hpp"
#include "model/PeopleEvent.hpp"
#include "model/SessionStart.hpp"
#include "model/UserEngagement.hpp"
#include "services/ActivityServiceProtocol.hpp"
#include "services/CurrencyAccrualServiceProtocol.hpp"
#include "services/EventsServiceProtocol.hpp"
#include "services/PeopleServiceProtocol.hpp"
#include "services/ProjectServiceProtocol.hpp"
#include "services/ReportServiceProtocol.hpp"
#include "services/StateManagerProtocol.hpp"
#include "services/TimerServiceProtocol.hpp"
#include "services/UserServiceProtocol.hpp"
#include "validation/Validator.hpp"

#include <algorithm>
#include <limits>
#include <utility>

namespace zqb {
using logic_support::kTrackingDisabled;

// Activity and sessions

void AnalyticsLogic::goActive() {
    startActivity();
}

void AnalyticsLogic::goInactive() {
    stopActivity();
}

void AnalyticsLogic::goBackground() {
    stopActivity();
}

void AnalyticsLogic::goTerminate() {
    stopActivity();
}

void AnalyticsLogic::startActivity() {
    startActivity(ActivityStart::activation);
}

bool AnalyticsLogic::applicationInUse(ActivityStart start) const {
    if (!lifeCycle_) {
        return true;
    }
    if (lifeCycle_->isApplicationInBackground()) {
        return false;
    }
    return start == ActivityStart::activation || lifeCycle_->isApplicationActive();
}

void AnalyticsLogic::startActivity(ActivityStart start) {
    if (activityService_->isActive()) {
        return;
    }
    if (!trackingAvailable()) {
        Logger::writeLog(ZQBLogLevel::info, kTrackingDisabled);
        return;
    }
    // A user switch or tracking switched on while the application is not active (in the background, or
    // inactive after resigning active) opens no session and starts no timer: that time is no engagement.
    // The next becoming-active starts the activity.
    if (!applicationInUse(start)) {
        return;
    }
    Logger::writeLog(ZQBLogLevel::debug, "Start activity");
    const auto isNewSession = activityService_->startActivity();
    const auto user = activeUser();
    if (isNewSession.value_or(false) && user->sessionId) {
        store(SessionStart(*user->sessionId, user->level, inProgress()));
        reportService_->sendBufferedEvents();
    }
    timerService_->startTimers();
}

void AnalyticsLogic::stopActivity() {
    if (!activityService_->isActive()) {
        return;
    }
    Logger::writeLog(ZQBLogLevel::debug, "Stop activity");
    addCurrencyAccrual();
    generatePeopleEvent(false);
    const auto user = activeUser();
    // A stop always ends the activity, so that the next start measures its gap afresh; only a user with a
    // session has an engagement to report.
    const auto length = activityService_->stopActivity();
    if (user->sessionId && length) {
        if (*length >= 1) {
            store(UserEngagement(now(), user->level, *length, *user->sessionId, inProgress()));
        } else {
            Logger::writeLog(ZQBLogLevel::debug,
                             "The user engagement event was not generated, session length is zero");
        }
    }
    reportService_->sendBufferedEvents();
    timerService_->stopTimers();
}

void AnalyticsLogic::sendAlive() {
    if (!trackingAvailable() || Validator::isExcluded("al", std::nullopt)) {
        return;
    }
    reportService_->sendFlashEvent(Alive(now()));
}

void AnalyticsLogic::sendDeviceInfo() {
    if (Validator::isExcluded("di", std::nullopt)) {
        return;
    }
    if (const auto deviceInfo = projectService_->getDeviceInfo(now())) {
        store(*deviceInfo);
    }
}

// Currency accrual and user card

void AnalyticsLogic::prepareCurrencyAccrualEvent(int64_t sessionId, int64_t level,
                                                 std::optional<int64_t> timestamp,
                                                 const std::shared_ptr<User>& user) {
    CurrencyAccrual event(now(), sessionId, level, currencyAccrualService_->getEarnedResources(user),
                          currencyAccrualService_->getBoughtResources(user));
    if (timestamp) {
        event.timestamp = *timestamp;
    }
    // The rows go first: rows that outlived their event would be reported again by the next one. Rows that
    // cannot go are reported by a later event instead.
    if (user) {
        if (currencyAccrualService_->removeResources(*user)) {
            eventsService_->addEvent(event, *user);
        }
    } else if (currencyAccrualService_->removeResourcesForActiveUser()) {
        eventsService_->addEvent(event);
    }
}

void AnalyticsLogic::addCurrencyAccrual() {
    const auto user = activeUser();
    if (!user->sessionId || !currencyAccrualService_->isContainsCurrencyAccrual()) {
        return;
    }
    prepareCurrencyAccrualEvent(*user->sessionId, user->level, std::nullopt, nullptr);
}

void AnalyticsLogic::addSavedCurrencyAccrualResources() {
    const int64_t projectId = stateManager_->getActiveProject()->idKey;
    std::vector<std::shared_ptr<User>> users;
    for (auto& user : userService_->getAllUsers()) {
        if (user && user->projectId == projectId) {
            users.push_back(std::move(user));
        }
    }
    // A user without a session sorts last; equal keys keep the table's order.
    std::stable_sort(users.begin(), users.end(), [](const auto& a, const auto& b) {
        constexpr int64_t noSession = std::numeric_limits<int64_t>::max();
        return a->sessionId.value_or(noSession) < b->sessionId.value_or(noSession);
    });
    for (const auto& user : users) {
        if (!user->sessionId) {
            continue;
        }
        const auto lastCreated = currencyAccrualService_->getLastCreatedTime(*user);
        if (!lastCreated) {
            continue;
        }
        prepareCurrencyAccrualEvent(*user->sessionId, user->level, lastCreated, user);
    }
}

void AnalyticsLogic::generatePeopleEvent(bool needFullCard) {
    if (!trackingAvailable()) {
        return;
    }
    if (!peopleService_->isNeedToSend() && !needFullCard) {
        return;
    }
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    std::optional<PeopleValueMap> parameters;
    if (!peopleService_->isNeedToClear()) {
        parameters = peopleService_->getParameters(needFullCard);
        if (parameters->empty()) {
            return;
        }
    }
    store(PeopleEvent(now(), *user->sessionId, user->level, std::move(parameters), inProgress()));
    peopleService_->removeNulls();
    peopleService_->unmarkUpdated();
    peopleService_->unmarkCleared();
}

}  // namespace zqb
