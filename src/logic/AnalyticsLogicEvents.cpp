#include "logic/AnalyticsLogic.hpp"

#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"
#include "logic/AnalyticsLogicSupport.hpp"
#include "model/AdImpression.hpp"
#include "model/CurrencyAccrualResource.hpp"
#include "model/CurrentBalance.hpp"
#include "model/CustomEvent.hpp"
#include "model/LevelResource.hpp"
#include "model/Location.hpp"
#include "model/ProgressionEvent.hpp"
#include "model/Referral.hpp"
#include "model/SocialNetworkConnect.hpp"
#include "model/SocialNetworkPost.hpp"
#include "model/Tutorial.hpp"
#include "model/VirtualCurrencyPayment.hpp"
#include "services/CurrencyAccrualServiceProtocol.hpp"
#include "services/LevelResourceServiceProtocol.hpp"
#include "services/ProjectServiceProtocol.hpp"
#include "services/ReportServiceProtocol.hpp"
#include "services/UserServiceProtocol.hpp"

#include <cmath>
#include <utility>

namespace zqb {
using logic_support::nonEmpty;

// Event operations

void AnalyticsLogic::customEvent(std::string name, AnyCodableMap parameters) {
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    store(CustomEvent(now(), *user->sessionId, user->level, std::move(name), std::move(parameters),
                      inProgress()));
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
    currencyAccrualService_->addCurrencyAccrual(CurrencyAccrualResource(
        now(), std::move(currencyName), currencyAmount, std::move(source), accrualType));
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
    store(VirtualCurrencyPayment(now(), *user->sessionId, user->level, std::move(purchaseId), purchaseAmount,
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
    store(CurrentBalance(now(), *user->sessionId, user->level, std::move(balances)));
    userService_->changeCurBalanceSentMark(true);
}

void AnalyticsLogic::startProgressionEvent(std::string eventName,
                                           ZQBStartProgressionEventParametersLocal parameters) {
    userService_->activateLocation(
        Location{eventName, std::move(parameters.source), parameters.difficulty, now()});
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
    const int64_t finished = now();
    std::optional<int64_t> duration;
    if (parameters.duration >= 1) {
        duration = parameters.duration;
    } else {
        const double seconds = std::ceil(
            (static_cast<double>(finished) - static_cast<double>(location->startTimestamp)) / 1000.0);
        // A clock set back since the start gives no duration rather than a negative one.
        if (seconds >= 1 && seconds < 9.2e18) {
            duration = static_cast<int64_t>(seconds);
        }
    }
    ProgressionEvent event(finished, *user->sessionId, user->level, eventName,
                           nonEmpty(std::move(parameters.spent)), nonEmpty(std::move(parameters.earned)),
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
    store(Tutorial(now(), *user->sessionId, user->level, step, inProgress()));
    userService_->markTutorialStep(step);
    Logger::writeLog(ZQBLogLevel::info, "The tutorial step [" + std::to_string(step) + "] is saved");
}

void AnalyticsLogic::socialNetworkConnect(ZQBSocialNetworkLocal network) {
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    store(SocialNetworkConnect(now(), *user->sessionId, user->level, std::move(network.name), inProgress()));
}

void AnalyticsLogic::socialNetworkPost(ZQBSocialNetworkLocal network, std::string reason) {
    const auto user = activeUser();
    if (!user->sessionId) {
        return;
    }
    store(SocialNetworkPost(now(), *user->sessionId, user->level, std::move(network.name), std::move(reason),
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
    store(Referral(now(), *user->sessionId, value(ZQBReferralProperty::source()),
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
    store(AdImpression(now(), std::move(network), revenue, *user->sessionId, std::move(placement),
                       std::move(unit), inProgress()));
}

int64_t AnalyticsLogic::getCustomEventParamsCount() {
    return projectService_->paramsCount();
}

}  // namespace zqb
