#include "logic/AnalyticsLogic.hpp"

#include "backend/Config.hpp"
#include "foundation/Logger.hpp"
#include "foundation/QueueManager.hpp"
#include "logic/AnalyticsLogicSupport.hpp"
#include "model/SubscriptionProduct.hpp"
#include "model/TrackingStatus.hpp"
#include "services/ActivityServiceProtocol.hpp"
#include "services/ConfigServiceProctocol.hpp"
#include "services/CurrencyAccrualServiceProtocol.hpp"
#include "services/EventsServiceProtocol.hpp"
#include "services/LevelResourceServiceProtocol.hpp"
#include "services/PeopleServiceProtocol.hpp"
#include "services/ProjectServiceProtocol.hpp"
#include "services/ReportServiceProtocol.hpp"
#include "services/StateManagerProtocol.hpp"
#include "services/SubscriptionServiceProtocol.hpp"
#include "services/TimerServiceProtocol.hpp"
#include "services/UserServiceProtocol.hpp"
#include "validation/CustomEventParamsLimit.hpp"

#include <utility>

namespace zqb {
using logic_support::kTrackingDisabled;

// Callbacks

void AnalyticsLogic::prepareCallBacks() {
    prepareTimersCallback();
    prepareConfigCallbacks();
    prepareReportSendCallback();
    preparePeopleCardCallback();
}

void AnalyticsLogic::prepareTimersCallback() {
    const std::weak_ptr<AnalyticsLogic> weakSelf = weak_from_this();
    // The timer service delivers its ticks on the income queue and drops a tick whose timer was stopped
    // meanwhile, so the work runs in place: queueing it once more would let a tick outlive a stop.
    timerService_->setOnAliveTimerTick([weakSelf] {
        if (const auto self = weakSelf.lock()) {
            self->sendAlive();
        }
    });
    timerService_->setOnCurrencyAccrualTimerTick([weakSelf] {
        if (const auto self = weakSelf.lock()) {
            Logger::writeLog(ZQBLogLevel::debug, "Currency accrual timer tick");
            self->addCurrencyAccrual();
        }
    });
    timerService_->setOnRequestTimerTick([weakSelf] {
        if (const auto self = weakSelf.lock()) {
            self->generatePeopleEvent(false);
            self->reportService_->sendBufferedEvents();
        }
    });
    timerService_->setOnActivityTimerTick([weakSelf] {
        if (const auto self = weakSelf.lock()) {
            self->activityService_->updateLastBackgroundTime();
        }
    });
    eventsService_->setOnFullStackAction([weakSelf] {
        Logger::writeLog(ZQBLogLevel::debug, "There are enough events for dispatching");
        if (const auto self = weakSelf.lock()) {
            self->reportService_->sendBufferedEvents();
        }
    });
}

void AnalyticsLogic::prepareConfigCallbacks() {
    const std::weak_ptr<AnalyticsLogic> weakSelf = weak_from_this();
    configService_->setOnSdkConfigUpdate([weakSelf](const Config& config) {
        if (const auto self = weakSelf.lock()) {
            self->onConfigurationReceived(config);
        }
    });
}

void AnalyticsLogic::prepareReportSendCallback() {
    const std::weak_ptr<AnalyticsLogic> weakSelf = weak_from_this();
    reportService_->setOnReportSendAction(
        [weakSelf, &queue = incomeQueue_] { postWeakly(queue, weakSelf, &AnalyticsLogic::onReportSent); });
}

void AnalyticsLogic::preparePeopleCardCallback() {
    const std::weak_ptr<AnalyticsLogic> weakSelf = weak_from_this();
    peopleService_->setOnClearedCard([weakSelf, &queue = incomeQueue_] {
        postWeakly(queue, weakSelf, [](AnalyticsLogic& self) {
            self.generatePeopleEvent(false);
            self.reportService_->sendBufferedEvents();
        });
    });
    peopleService_->setDidChangeCheaterMark([weakSelf] {
        if (const auto self = weakSelf.lock()) {
            self->generatePeopleEvent(false);
        }
    });
}

void AnalyticsLogic::onConfigurationReceived(const Config& config) {
    const bool removeInactiveUsers = projectService_->checkIfNeedRemoveUsersData(config);
    const bool resetHistory = subscriptionService_->isHistoryNeedReset(config);
    projectService_->applyConfig(config);
    publishParamsLimit();
    if (removeInactiveUsers) {
        removeUsers(stateManager_->getInactiveProjectUsers());
    }
    if (resetHistory) {
        subscriptionService_->resetHistoryMark();
    }
    timerService_->stopTimers();
    // Tracking off means nothing leaves the device, and without an activity nobody is there to ping for:
    // the timers come back with the next start of an activity, with the new periods.
    if (trackingAvailable() && activityService_->isActive()) {
        timerService_->startTimers();
    }
    startSubscriptionsService();
}

void AnalyticsLogic::onReportSent() {
    if (trackingAvailable() && activityService_->isActive()) {
        timerService_->resetRequestTimer();
    }
}

void AnalyticsLogic::publishParamsLimit() {
    CustomEventParamsLimit::publish(projectService_->paramsCount());
}

// Start-up

void AnalyticsLogic::applyAnalyticsConfiguration(
    const std::optional<ZQBAnalyticsConfigurationLocal>& configuration) {
    publishParamsLimit();

    if (!trackingAvailable() && configuration &&
        configuration->trackingAvailability == ZQBTrackingStatus::enable) {
        projectService_->setTrackingAvailable(true);
        store(TrackingStatus(now(), true));
    }
    if (!configuration) {
        return;
    }
    if (trackingAvailable() && configuration->trackingAvailability == ZQBTrackingStatus::disable) {
        removeEventsAndResources();
        timerService_->stopTimers();
        projectService_->setTrackingAvailable(false);
    }
    if (configuration->userId) {
        userService_->activateUser(*configuration->userId);
    }
    if (!configuration->level) {
        return;
    }
    const int64_t level = *configuration->level;
    if (level != activeUser()->level) {
        addSavedCurrencyAccrualResources();
        levelResourceService_->removeResourcesForActiveUser();
        userService_->resourceAggregation(false);
    }
    userService_->setUserLevel(level);
    Logger::writeLog(ZQBLogLevel::info, "Set level [" + std::to_string(level) + "] for user [" +
                                            activeUser()->userId.value_or("") + "]");
}

void AnalyticsLogic::tryStartSDK() {
    if (!trackingAvailable()) {
        reportService_->sendFlashEvent(TrackingStatus(now(), false));
        Logger::writeLog(ZQBLogLevel::info, kTrackingDisabled);
        return;
    }
    startSDK();
}

void AnalyticsLogic::startSDK() {
    startSDK(ActivityStart::activation);
}

void AnalyticsLogic::startSDK(ActivityStart start) {
    if (started_) {
        Logger::writeLog(ZQBLogLevel::error, "The SDK is already running!");
    }
    if (activityService_->isActive()) {
        Logger::writeLog(ZQBLogLevel::error, "Activity cannot be launched before the SDK starts!");
        return;
    }
    addSavedCurrencyAccrualResources();
    startActivity(start);
    sendDeviceInfo();
    generatePeopleEvent(true);
    reportService_->sendBufferedEvents();
    configService_->receiveSdkConfig();
    if (!userService_->hasBackendIds()) {
        configService_->receiveUserBackendIds();
    }
    started_ = true;
}

void AnalyticsLogic::startSubscriptionsService() {
    const auto productIds = subscriptionService_->getProductList();
    if (!productIds) {
        return;
    }
    const std::weak_ptr<AnalyticsLogic> weakSelf = weak_from_this();
    subscriptionService_->requestUserProducts(
        *productIds, [weakSelf](const std::optional<std::vector<SubscriptionProduct>>& products) {
            if (const auto self = weakSelf.lock()) {
                self->onProductsReceived(products);
            }
        });
}

void AnalyticsLogic::removeEventsAndResources() {
    eventsService_->removeAllEvents();
    reportService_->removeAllReports();
    levelResourceService_->removeAllResources();
    currencyAccrualService_->removeAllResources();
}

void AnalyticsLogic::removeUsers(const std::vector<std::shared_ptr<User>>& users) {
    if (users.empty()) {
        return;
    }
    std::string ids;
    bool first = true;
    for (const auto& user : users) {
        ids += (first ? "" : ", ") + user->userId.value_or("");
        first = false;
    }
    Logger::writeLog(ZQBLogLevel::debug, "Remove inactive users [" + ids + "]");
    userService_->removeInactiveUserData(users);
    eventsService_->removeInactiveUserData(users);
    currencyAccrualService_->removeInactiveUserData(users);
    levelResourceService_->removeInactiveUserData(users);
    reportService_->removeInactiveUserData(users);
    peopleService_->removeInactiveUserData(users);
}

// Identifiers broadcaster

LogicBroadcasterProtocol::IdentifiersUpdate AnalyticsLogic::onBackendIdentifiersUpdate() const {
    return configService_->onIdentifiersUpdate();
}

void AnalyticsLogic::setOnBackendIdentifiersUpdate(IdentifiersUpdate closure) {
    configService_->setOnIdentifiersUpdate(std::move(closure));
}

void AnalyticsLogic::forceUpdate() {
    const auto identifiers = projectService_->getDeviceIdentifiers();
    const auto& update = configService_->onIdentifiersUpdate();
    if (update) {
        update(identifiers ? identifiers->vorantelId : std::nullopt);
    }
}

}  // namespace zqb
