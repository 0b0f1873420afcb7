#include "logic/AnalyticsLogic.hpp"

#include "backend/Config.hpp"
#include "core/CustomEventParamsLimit.hpp"
#include "core/Logger.hpp"
#include "core/QueueManager.hpp"
#include "core/SdkConstraints.hpp"
#include "core/ServiceFactoryProtocol.hpp"
#include "core/StateManagerProtocol.hpp"
#include "core/TextUtils.hpp"
#include "host/Environment.hpp"
#include "model/AdImpression.hpp"
#include "model/Alive.hpp"
#include "model/CurrencyAccrual.hpp"
#include "model/CurrencyAccrualResource.hpp"
#include "model/CurrentBalance.hpp"
#include "model/CustomEvent.hpp"
#include "model/LevelResource.hpp"
#include "model/LevelUp.hpp"
#include "model/Location.hpp"
#include "model/PeopleEvent.hpp"
#include "model/ProgressionEvent.hpp"
#include "model/RealCurrencyPayment.hpp"
#include "model/Referral.hpp"
#include "model/RestoredTransactionsEvent.hpp"
#include "model/SessionStart.hpp"
#include "model/SocialNetworkConnect.hpp"
#include "model/SocialNetworkPost.hpp"
#include "model/SubscriptionPayment.hpp"
#include "model/SubscriptionProduct.hpp"
#include "model/SubscriptionProductsEvent.hpp"
#include "model/TrackingStatus.hpp"
#include "model/Tutorial.hpp"
#include "model/UserEngagement.hpp"
#include "model/VirtualCurrencyPayment.hpp"
#include "services/ActivityServiceProtocol.hpp"
#include "services/ConfigServiceProctocol.hpp"
#include "services/CurrencyAccrualServiceProtocol.hpp"
#include "services/EventsServiceProtocol.hpp"
#include "services/LevelResourceServiceProtocol.hpp"
#include "services/PeopleServiceProtocol.hpp"
#include "services/ProjectServiceProtocol.hpp"
#include "services/ReportServiceProtocol.hpp"
#include "services/StoreProductExtension.hpp"
#include "services/SubscriptionServiceProtocol.hpp"
#include "services/TimerServiceProtocol.hpp"
#include "services/UserServiceProtocol.hpp"
#include "validation/Validator.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace zqb {
namespace {

constexpr const char* kTrackingDisabled = "SDK not active!\n\t Tracking status is Disable!";

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

template <typename Map>
std::optional<Map> nonEmpty(Map map) {
    if (map.empty()) {
        return std::nullopt;
    }
    return map;
}

}  // namespace

std::shared_ptr<AnalyticsLogic> AnalyticsLogic::create(
    std::shared_ptr<ServiceFactoryProtocol> serviceFactory,
    std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle) {
    std::shared_ptr<AnalyticsLogic> logic(
        new AnalyticsLogic(std::move(serviceFactory), std::move(lifeCycle)));
    if (logic->lifeCycle_) {
        logic->lifeCycle_->setLifeCycleListener(std::weak_ptr<LifeCycleProtocol>(logic));
    }
    return logic;
}

AnalyticsLogic::AnalyticsLogic(std::shared_ptr<ServiceFactoryProtocol> serviceFactory,
                               std::shared_ptr<LifeCycleRepositoryProtocol> lifeCycle)
    : serviceFactory_(std::move(serviceFactory)),
      stateManager_(serviceFactory_->stateManager()),
      lifeCycle_(std::move(lifeCycle)) {
    // The getters create the services nobody asked for earlier; this is their creation order.
    projectService_ = serviceFactory_->projectService();
    userService_ = serviceFactory_->userService();
    eventsService_ = serviceFactory_->eventsService();
    reportService_ = serviceFactory_->reportService();
    activityService_ = serviceFactory_->activityService();
    timerService_ = serviceFactory_->timerService();
    currencyAccrualService_ = serviceFactory_->currencyAccrualService();
    levelResourceService_ = serviceFactory_->levelResourceService();
    configService_ = serviceFactory_->configService();
    anticheatService_ = serviceFactory_->antiCheatService();
    peopleService_ = serviceFactory_->peopleService();
    subscriptionService_ = serviceFactory_->subscriptionService();
}

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
    reportService_->setOnReportSendAction([weakSelf] {
        QueueManager::incomeQueue().addOperation([weakSelf] {
            if (const auto self = weakSelf.lock()) {
                self->onReportSent();
            }
        });
    });
}

void AnalyticsLogic::preparePeopleCardCallback() {
    const std::weak_ptr<AnalyticsLogic> weakSelf = weak_from_this();
    peopleService_->setOnClearedCard([weakSelf] {
        QueueManager::incomeQueue().addOperation([weakSelf] {
            if (const auto self = weakSelf.lock()) {
                self->generatePeopleEvent(false);
                self->reportService_->sendBufferedEvents();
            }
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
        store(TrackingStatus(true));
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
        reportService_->sendFlashEvent(TrackingStatus(false));
        Logger::writeLog(ZQBLogLevel::info, kTrackingDisabled);
        return;
    }
    startSDK();
}

void AnalyticsLogic::startSDK() {
    if (started_) {
        Logger::writeLog(ZQBLogLevel::error, "The SDK is already running!");
    }
    if (activityService_->isActive()) {
        Logger::writeLog(ZQBLogLevel::error, "Activity cannot be launched before the SDK starts!");
        return;
    }
    addSavedCurrencyAccrualResources();
    startActivity();
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
    if (activityService_->isActive()) {
        return;
    }
    if (!trackingAvailable()) {
        Logger::writeLog(ZQBLogLevel::info, kTrackingDisabled);
        return;
    }
    // A user switch or tracking switched on while the application is in the background opens no session and
    // starts no timer: background time is no engagement. The next becoming-active starts the activity.
    if (lifeCycle_ && lifeCycle_->isApplicationInBackground()) {
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
            store(UserEngagement(user->level, *length, *user->sessionId, inProgress()));
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
    reportService_->sendFlashEvent(Alive());
}

void AnalyticsLogic::sendDeviceInfo() {
    if (Validator::isExcluded("di", std::nullopt)) {
        return;
    }
    if (const auto deviceInfo = projectService_->getDeviceInfo()) {
        store(*deviceInfo);
    }
}

// Currency accrual and user card

void AnalyticsLogic::prepareCurrencyAccrualEvent(int64_t sessionId, int64_t level,
                                                 std::optional<int64_t> timestamp,
                                                 const std::shared_ptr<User>& user) {
    CurrencyAccrual event(sessionId, level, currencyAccrualService_->getEarnedResources(user),
                          currencyAccrualService_->getBoughtResources(user));
    if (timestamp) {
        event.timestamp = *timestamp;
    }
    if (user) {
        eventsService_->addEvent(event, *user);
        currencyAccrualService_->removeResources(*user);
    } else {
        eventsService_->addEvent(event);
        currencyAccrualService_->removeResourcesForActiveUser();
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
    store(PeopleEvent(*user->sessionId, user->level, std::move(parameters), inProgress()));
    peopleService_->removeNulls();
    peopleService_->unmarkUpdated();
    peopleService_->unmarkCleared();
}

// Identity, level and tracking

void AnalyticsLogic::stopSDK() {
    if (lifeCycle_) {
        lifeCycle_->setLifeCycleListener({});
    }
    stopActivity();
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
        startActivity();
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
        startActivity();
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
    LevelUp event(*user->sessionId, level, nonEmpty(std::move(balances)), inProgress());
    // Only the level just finished has its resources reported; a jump or a step down reports none.
    if (previousLevel < std::numeric_limits<int64_t>::max() && level == previousLevel + 1) {
        event.spent = levelResourceService_->getSpentResources();
        event.earned = levelResourceService_->getEarnedResources();
        event.bought = levelResourceService_->getBoughtResources();
    }
    userService_->resourceAggregation(true);
    userService_->setUserLevel(level);
    store(event);
    generatePeopleEvent(false);
    reportService_->sendBufferedEvents();
    levelResourceService_->removeResourcesForActiveUser();
    currencyAccrualService_->removeResourcesForActiveUser();
}

void AnalyticsLogic::setTrackingAvailability(bool value) {
    const bool current = trackingAvailable();
    if (value == current) {
        Logger::writeLog(ZQBLogLevel::info, "Tracking status is already " + enableText(value));
        if (value) {
            store(TrackingStatus(true));
        }
        return;
    }
    if (!value) {
        removeEventsAndResources();
        stopActivity();
        // Still on at this point, so the events service takes this last status.
        store(TrackingStatus(false));
        generatePeopleEvent(false);
        reportService_->sendBufferedEvents();
        projectService_->setTrackingAvailable(false);
        stateManager_->updateDeviceIdentifiers(std::nullopt, std::nullopt, std::nullopt);
        return;
    }
    projectService_->setTrackingAvailable(true);
    store(TrackingStatus(true));
    if (started_) {
        reportService_->sendBufferedEvents();
        startActivity();
        configService_->receiveSdkConfig();
        configService_->receiveUserBackendIds();
    } else {
        startSDK();
    }
}

// Event operations

void AnalyticsLogic::customEvent(std::string name, AnyCodableMap parameters) {
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    store(CustomEvent(*user->sessionId, user->level, std::move(name), std::move(parameters), inProgress()));
}

void AnalyticsLogic::sendBufferedEvents() {
    flush();
}

void AnalyticsLogic::flush() {
    generatePeopleEvent(false);
    reportService_->sendBufferedEvents();
}

void AnalyticsLogic::currencyAccrual(std::string currencyName, int64_t currencyAmount, std::string source,
                                     ZQBAccrualType accrualType) {
    LevelResource resource;
    resource.type =
        accrualType == ZQBAccrualType::bought ? LevelResourceType::bought : LevelResourceType::earned;
    resource.name = currencyName;
    resource.amount = currencyAmount;
    levelResourceService_->addLevelResource(resource);
    currencyAccrualService_->addCurrencyAccrual(
        CurrencyAccrualResource(std::move(currencyName), currencyAmount, std::move(source), accrualType));
}

void AnalyticsLogic::virtualCurrencyPayment(std::string purchaseId, std::string purchaseType,
                                            int64_t purchaseAmount, IntMap resources) {
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    for (const auto& [currency, amount] : resources) {
        LevelResource resource;
        resource.type = LevelResourceType::spent;
        resource.name = currency;
        resource.amount = amount;
        levelResourceService_->addLevelResource(resource);
    }
    store(VirtualCurrencyPayment(*user->sessionId, user->level, std::move(purchaseId), purchaseAmount,
                                 std::move(resources), std::move(purchaseType), inProgress()));
}

void AnalyticsLogic::currentBalance(IntMap balances) {
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    if (userService_->isBalanceSentForActiveUser()) {
        Logger::writeLog(ZQBLogLevel::warning,
                         "The CurrentBalance event is already sent, in this game session");
        return;
    }
    store(CurrentBalance(*user->sessionId, user->level, std::move(balances)));
    userService_->changeCurBalanceSentMark(true);
}

void AnalyticsLogic::startProgressionEvent(std::string eventName,
                                           ZQBStartProgressionEventParametersLocal parameters) {
    userService_->activateLocation(Location{eventName, std::move(parameters.source), parameters.difficulty,
                                            Storable::currentTimestamp()});
    Logger::writeLog(ZQBLogLevel::info, "Activated ProgressionEvent: [" + eventName + "]");
}

void AnalyticsLogic::finishProgressionEvent(std::string eventName,
                                            ZQBFinishProgressionEventParametersLocal parameters) {
    const auto location = userService_->getLocation();
    if (!location) {
        Logger::writeLog(
            ZQBLogLevel::warning,
            "Progression event can't be finished!\n\tDoesn't have any started progression events");
        return;
    }
    if (!text::canonicallyEqual(location->name, eventName)) {
        Logger::writeLog(ZQBLogLevel::warning,
                         "Progression event can't be finished!\n"
                         "\tStarted progression event name is [" +
                             location->name + "]\n\tCurrent event name is [" + eventName + "]");
        return;
    }
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    const int64_t now = Storable::currentTimestamp();
    std::optional<int64_t> duration;
    if (parameters.duration >= 1) {
        duration = parameters.duration;
    } else {
        const double seconds =
            std::ceil((static_cast<double>(now) - static_cast<double>(location->startTimestamp)) / 1000.0);
        // A clock set back since the start gives no duration rather than a negative one.
        if (seconds >= 1 && seconds < 9.2e18) {
            duration = static_cast<int64_t>(seconds);
        }
    }
    ProgressionEvent event(*user->sessionId, user->level, eventName, nonEmpty(std::move(parameters.spent)),
                           nonEmpty(std::move(parameters.earned)),
                           ProgressionEventParams(parameters.successfulCompletion, duration,
                                                  location->difficulty, location->source));
    store(event);
    flush();
    userService_->clearLocation(false);
    Logger::writeLog(ZQBLogLevel::info, "The ProgressionEvent [" + eventName + "] is finished");
}

void AnalyticsLogic::tutorial(int64_t step) {
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    if (userService_->isTutorialStepMarked(step)) {
        Logger::writeLog(ZQBLogLevel::warning,
                         "Tutorial step [" + std::to_string(step) + "] is already used");
        return;
    }
    store(Tutorial(*user->sessionId, user->level, step, inProgress()));
    userService_->markTutorialStep(step);
    Logger::writeLog(ZQBLogLevel::info, "The tutorial step [" + std::to_string(step) + "] is saved");
}

void AnalyticsLogic::socialNetworkConnect(ZQBSocialNetworkLocal network) {
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    store(SocialNetworkConnect(*user->sessionId, user->level, std::move(network.name), inProgress()));
}

void AnalyticsLogic::socialNetworkPost(ZQBSocialNetworkLocal network, std::string reason) {
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    store(SocialNetworkPost(*user->sessionId, user->level, std::move(network.name), std::move(reason),
                            inProgress()));
}

void AnalyticsLogic::referrer(ReferralData utmData) {
    if (projectService_->isRefererSent()) {
        Logger::writeLog(ZQBLogLevel::info, "The referrer has been sent");
        return;
    }
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    const auto value = [&utmData](const ZQBReferralProperty& key) -> std::optional<std::string> {
        const auto found = utmData.find(key);
        if (found == utmData.end()) {
            return std::nullopt;
        }
        return found->second;
    };
    store(Referral(*user->sessionId, value(ZQBReferralProperty::source()),
                   value(ZQBReferralProperty::campaign()), value(ZQBReferralProperty::content()),
                   value(ZQBReferralProperty::medium()), value(ZQBReferralProperty::term())));
    flush();
    projectService_->setIsRefererSent(true);
}

void AnalyticsLogic::adImpression(std::string network, double revenue, std::optional<std::string> placement,
                                  std::optional<std::string> unit) {
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    store(AdImpression(std::move(network), revenue, *user->sessionId, std::move(placement), std::move(unit),
                       inProgress()));
}

int64_t AnalyticsLogic::getCustomEventParamsCount() {
    return projectService_->paramsCount();
}

// Helpers

std::shared_ptr<User> AnalyticsLogic::activeUser() const {
    return stateManager_->getActiveUser();
}

bool AnalyticsLogic::trackingAvailable() const {
    return projectService_->getTrackingAvailable();
}

std::optional<std::vector<std::string>> AnalyticsLogic::inProgress() const {
    if (const auto location = userService_->getLocation()) {
        return std::vector<std::string>{location->name};
    }
    return std::nullopt;
}

void AnalyticsLogic::store(const Storable& event) {
    eventsService_->addEvent(event);
}

// Payments and subscriptions

void AnalyticsLogic::markOrderId(const std::string& orderId) {
    if (projectService_->isCurrencyPaymentMarked(orderId)) {
        Logger::writeLog(ZQBLogLevel::warning,
                         "Real currency payment with same order id [" + orderId + "] already marked!");
        return;
    }
    projectService_->markCurrencyPayment(orderId);
}

void AnalyticsLogic::realCurrencyPayment(std::string orderId, double price, std::string productId,
                                         std::string currencyCode) {
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    if (projectService_->isCurrencyPaymentMarked(orderId)) {
        Logger::writeLog(ZQBLogLevel::warning,
                         "Real payment with orderId [" + orderId + "]  is already used!");
        return;
    }
    store(RealCurrencyPayment(*user->sessionId, user->level, std::move(productId), orderId, price,
                              std::move(currencyCode), inProgress()));
    markOrderId(orderId);
    flush();
}

void AnalyticsLogic::isRestoreTransactionHistoryRequired(BoolCompletion completion) {
    completion(subscriptionService_->isNeedRestoreHistory());
}

void AnalyticsLogic::subscriptionPayment(host::PaymentTransaction transaction,
                                         host::StoreProductTexts product) {
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    const std::optional<std::string> originalId = transaction.originalTransaction
                                                      ? transaction.originalTransaction->transactionIdentifier
                                                      : std::nullopt;
    const std::optional<std::string> orderId = originalId ? originalId : transaction.transactionIdentifier;
    if (!orderId) {
        Logger::writeLog(ZQBLogLevel::error, "Subscription payment transactionIdentifier is nil");
        return;
    }
    const bool isRenewal =
        transaction.transactionIdentifier && transaction.transactionIdentifier != originalId;
    // A price that is not a decimal number leaves the product without a record of its own; the payment is
    // still reported, with the codes of the price locale.
    std::optional<SubscriptionProduct> subscription;
    if (const auto priced = readPrices(product)) {
        subscription =
            zqb::subscriptionProduct(*priced, host::Environment::shared().storeKit()->systemVersion());
    }

    bool paymentStored = false;
    if (projectService_->isCurrencyPaymentMarked(*orderId)) {
        if (isRenewal) {
            Logger::writeLog(ZQBLogLevel::debug,
                             "Subscription payment with orderId [" + *orderId + "] is renewal");
        }
    } else {
        store(SubscriptionPayment(*user->sessionId, user->level, product.productIdentifier, *orderId,
                                  zqb::regionCode(product.priceLocale).value_or(""),
                                  zqb::currencyCode(product.priceLocale).value_or(""), inProgress()));
        markOrderId(*orderId);
        paymentStored = true;
    }
    if (subscription && !subscriptionService_->checkIfContains(*subscription)) {
        store(SubscriptionProductsEvent({*subscription}));
        flush();
    } else if (paymentStored) {
        flush();
    }
}

void AnalyticsLogic::subscriptionPayment(std::string productId, std::string transactionId) {
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    if (projectService_->isCurrencyPaymentMarked(transactionId)) {
        Logger::writeLog(ZQBLogLevel::debug,
                         "Subscription payment with orderId [" + transactionId + "] is renewal");
        return;
    }
    const auto known = subscriptionService_->findLocalProduct(productId);
    store(SubscriptionPayment(*user->sessionId, user->level, productId, transactionId,
                              known ? known->regionCode : std::string(),
                              known ? known->currencyCode : std::string(), inProgress()));
    markOrderId(transactionId);
    reportService_->sendBufferedEvents();
}

void AnalyticsLogic::subscriptionHistory(std::vector<host::PaymentTransaction> transactions) {
    if (!subscriptionService_->isNeedRestoreHistory()) {
        return;
    }
    subscriptionService_->markAsRestoredHistory();
    if (transactions.empty()) {
        Logger::writeLog(ZQBLogLevel::debug, "subscriptionHistory transactions is empty");
        return;
    }
    subscriptionService_->processTransactions(transactions);
    sendSubscriptionsHistoryEvent();
}

void AnalyticsLogic::subscriptionHistory(SubscriptionHistory history) {
    if (!subscriptionService_->isNeedRestoreHistory()) {
        return;
    }
    subscriptionService_->markAsRestoredHistory();
    if (history.empty()) {
        Logger::writeLog(ZQBLogLevel::debug, "subscriptionHistory transactions is empty");
        return;
    }
    subscriptionService_->processTransactions(history);
    sendSubscriptionsHistoryEvent();
}

void AnalyticsLogic::sendSubscriptionsHistoryEvent() {
    if (!subscriptionService_->isNeedSendRestoredHistory()) {
        return;
    }
    const auto data = subscriptionService_->getDataForSBSREvent();
    if (!data || data->transactions.empty()) {
        Logger::writeLog(ZQBLogLevel::debug,
                         "SubscriptionsHistory: No information about completed transactions");
        return;
    }
    if (!data->currencyCode) {
        Logger::writeLog(
            ZQBLogLevel::debug,
            "SubscriptionsHistory: Not enough data to send the event, \n\tmissing product CurrencyCode");
        return;
    }
    store(RestoredTransactionsEvent(*data->currencyCode, data->transactions));
    reportService_->sendBufferedEvents();
    subscriptionService_->markAsRestoredHistory();
    subscriptionService_->markAsSendRestoredHistory();
    subscriptionService_->clearSubscriptionHistory();
}

void AnalyticsLogic::onProductsReceived(const std::optional<std::vector<SubscriptionProduct>>& products) {
    if (!products || products->empty()) {
        return;
    }
    if (!subscriptionService_->needSendProducts()) {
        sendSubscriptionsHistoryEvent();
        return;
    }
    store(SubscriptionProductsEvent(*products));
    reportService_->sendBufferedEvents();
    subscriptionService_->resetSendProductsMark();
    subscriptionService_->resetHistoryMark();
    sendSubscriptionsHistoryEvent();
}

}  // namespace zqb
