#include "core/AnalyticsProxy.hpp"

#include "foundation/Logger.hpp"
#include "foundation/QueueManager.hpp"
#include "validation/CustomEventParamsLimit.hpp"
#include "validation/Validator.hpp"
#include "validation/ValidatorRules.hpp"

#include <limits>
#include <utility>

namespace zqb {
namespace {

constexpr int64_t kMaxLevel = 2147483646;
constexpr int64_t kMinTutorialStep = -2;
constexpr int64_t kMaxTutorialStep = 2147483647;
constexpr int64_t kBalanceKeyLength = 24;
constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();
constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();

// The logic of a proxy that is still there, or nothing after the not-initialised message.
std::shared_ptr<AnalyticsProtocol> initializedLogic(const std::weak_ptr<AnalyticsProxy>& weak,
                                                    const char* method) {
    const auto proxy = weak.lock();
    if (!proxy) {
        return nullptr;
    }
    auto logic = proxy->analyticsLogic();
    if (!logic) {
        proxy->validateInitialization(method);
    }
    return logic;
}

void checkedCustomEvent(AnalyticsProtocol& logic, const std::string& name, const AnyCodableMap& parameters) {
    auto validated = ValidatorRules::validateCustomEvent(name, parameters);
    if (!validated) {
        return;
    }
    // Exclusions list the names as the host reports them, before cleaning.
    if (Validator::isExcluded("ce", AnyCodable(name))) {
        return;
    }
    logic.customEvent(std::move(validated->name), std::move(validated->params));
}

}  // namespace

std::shared_ptr<AnalyticsProtocol> AnalyticsProxy::analyticsLogic() const {
    std::lock_guard lock(mutex_);
    return analyticsLogic_;
}

void AnalyticsProxy::setAnalyticsLogic(std::shared_ptr<AnalyticsProtocol> logic) {
    std::lock_guard lock(mutex_);
    analyticsLogic_.swap(logic);
    // A replaced logic is released after the lock.
}

bool AnalyticsProxy::validateInitialization(const std::string& methodName) const {
    if (analyticsLogic()) {
        return true;
    }
    Logger::writeLog(
        ZQBLogLevel::error,
        "In the " + methodName + " method an error has occurred: The SDK is not initialized yet!");
    return false;
}

void AnalyticsProxy::stopSDK() {
    if (const auto logic = analyticsLogic()) {
        logic->stopSDK();
    }
}

int64_t AnalyticsProxy::getCustomEventParamsCount() {
    return CustomEventParamsLimit::current();
}

// A public call as it waits in the income queue: what `enqueue` queues.
template <typename Body>
struct AnalyticsProxy::QueuedCall {
    // Alive until this operation has run: its deletion is queued behind it.
    AnalyticsProxy* proxy;
    const char* method;
    Body body;

    void operator()() {
        if (proxy->released_.load(std::memory_order_acquire)) {
            return;
        }
        if (const auto logic = proxy->analyticsLogic()) {
            body(*logic);
        } else {
            proxy->validateInitialization(method);
        }
    }
};

namespace {
// The last operation of a released proxy's queue that names it.
struct DeferredDelete {
    std::unique_ptr<AnalyticsProxy> proxy;
    void operator()() const {}
};
}  // namespace

std::shared_ptr<AnalyticsProxy> AnalyticsProxy::make(QueueManager& incomeQueue) {
    // The calls queued from here on name the proxy by address, and its deletion is queued behind them: no
    // cancellation may drop it ahead of the call that runs.
    incomeQueue.refuseCancellation();
    return std::shared_ptr<AnalyticsProxy>(new AnalyticsProxy(incomeQueue), [](AnalyticsProxy* proxy) {
        proxy->released_.store(true, std::memory_order_release);
        QueueManager& queue = proxy->incomeQueue_;
        DeferredDelete deferred{std::unique_ptr<AnalyticsProxy>(proxy)};
        try {
            queue.addOperation(std::move(deferred));
        } catch (...) {
            // No memory for the operation: the proxy is left behind rather than deleted under the operations
            // that still name it.
            [[maybe_unused]] AnalyticsProxy* const leaked = deferred.proxy.release();
        }
    });
}

template <typename Body>
void AnalyticsProxy::enqueue(const char* method, Body body) {
    incomeQueue_.addOperation(QueuedCall<Body>{this, method, std::move(body)});
}

template <typename T>
void AnalyticsProxy::enqueueQuery(const char* method, std::function<void(T)> completion, T fallback,
                                  void (AnalyticsProtocol::*operation)(std::function<void(T)>)) {
    if (!completion) {
        completion = [](T) {};
    }
    incomeQueue_.addOperation([weak = weak_from_this(), method, completion = std::move(completion),
                               fallback = std::move(fallback), operation]() mutable {
        // A proxy released meanwhile still answers, silently: the caller may be waiting for it.
        if (const auto logic = initializedLogic(weak, method)) {
            ((*logic).*operation)(std::move(completion));
        } else {
            completion(std::move(fallback));
        }
    });
}

void AnalyticsProxy::getDeviceId(StringCompletion completion) {
    enqueueQuery<std::string>("getDeviceId(_:)", std::move(completion), "", &AnalyticsProtocol::getDeviceId);
}

void AnalyticsProxy::getSDKVersion(StringCompletion completion) {
    enqueueQuery<std::string>("getSDKVersion(_:)", std::move(completion), "",
                              &AnalyticsProtocol::getSDKVersion);
}

void AnalyticsProxy::getTrackingAvailability(BoolCompletion completion) {
    enqueueQuery<bool>("getTrackingAvailability(_:)", std::move(completion), false,
                       &AnalyticsProtocol::getTrackingAvailability);
}

void AnalyticsProxy::getUserId(StringCompletion completion) {
    enqueueQuery<std::string>("getUserId(_:)", std::move(completion), "", &AnalyticsProtocol::getUserId);
}

void AnalyticsProxy::getCurrentLevel(LevelCompletion completion) {
    enqueueQuery<int64_t>("getCurrentLevel(_:)", std::move(completion), 1,
                          &AnalyticsProtocol::getCurrentLevel);
}

void AnalyticsProxy::isRestoreTransactionHistoryRequired(BoolCompletion completion) {
    enqueueQuery<bool>("isRestoreTransactionHistoryRequired(_:)", std::move(completion), false,
                       &AnalyticsProtocol::isRestoreTransactionHistoryRequired);
}

void AnalyticsProxy::setTrackingAvailability(bool value) {
    enqueue("setTrackingAvailability(_:)",
            [value](AnalyticsProtocol& logic) { logic.setTrackingAvailability(value); });
}

void AnalyticsProxy::setUserId(std::string userId) {
    enqueue("setUserId(_:)", [userId = std::move(userId)](AnalyticsProtocol& logic) {
        auto validated = ValidatorRules::validateUserId("SetUserId", userId);
        if (!validated) {
            ValidatorRules::notifyThatMethodExecutionWasCanceled("SetUserId");
            return;
        }
        logic.setUserId(std::move(*validated));
    });
}

void AnalyticsProxy::replaceUserId(std::string prevUserId, std::string userId) {
    enqueue("replaceUserId(_:_:)",
            [prevUserId = std::move(prevUserId), userId = std::move(userId)](AnalyticsProtocol& logic) {
                auto validated = ValidatorRules::validateReplaceUserId("replaceUserId", prevUserId, userId);
                if (!validated) {
                    ValidatorRules::notifyThatMethodExecutionWasCanceled("replaceUserId");
                    return;
                }
                logic.replaceUserId(std::move(validated->prevUserName), std::move(validated->userName));
            });
}

void AnalyticsProxy::setCurrentLevel(int64_t level) {
    enqueue("setCurrentLevel(_:)", [level](AnalyticsProtocol& logic) {
        if (!Validator::inInterval<int64_t>("SetCurrentLevel", "The level argument value", level, 1,
                                            kMaxLevel)) {
            ValidatorRules::notifyThatMethodExecutionWasCanceled("SetCurrentLevel");
            return;
        }
        logic.setCurrentLevel(level);
    });
}

void AnalyticsProxy::levelUp(int64_t level, IntMap balances) {
    enqueue("levelUp(_:_:)", [level, balances = std::move(balances)](AnalyticsProtocol& logic) {
        // The balances are checked (and their bad entries reported) even when the level cancels the call.
        const bool levelValid =
            Validator::inInterval<int64_t>("LevelUp", "The level argument value", level, 1, kMaxLevel);
        IntMap cleaned = ValidatorRules::validateResorces("LevelUp", "balances dictionary", balances,
                                                          kBalanceKeyLength, kInt64Min, kInt64Max);
        if (!levelValid) {
            ValidatorRules::notifyThatMethodExecutionWasCanceled("LevelUp");
            return;
        }
        if (Validator::isExcluded("lu", std::nullopt)) {
            return;
        }
        logic.levelUp(level, std::move(cleaned));
    });
}

void AnalyticsProxy::currentBalance(IntMap balances) {
    enqueue("currentBalance(_:)", [balances = std::move(balances)](AnalyticsProtocol& logic) {
        std::optional<IntMap> cleaned = ValidatorRules::validateResorces(
            "CurrentBalance", "balances dictionary", balances, kBalanceKeyLength, kInt64Min, kInt64Max);
        if (!Validator::notNullOrEmpty("CurrentBalance", "The balance parameter value", cleaned)) {
            ValidatorRules::notifyThatMethodExecutionWasCanceled("CurrentBalance");
            return;
        }
        if (Validator::isExcluded("cb", std::nullopt)) {
            return;
        }
        logic.currentBalance(std::move(*cleaned));
    });
}

void AnalyticsProxy::customEvent(std::string name, AnyCodableMap parameters) {
    enqueue("customEvent(_:_:)",
            [name = std::move(name), parameters = std::move(parameters)](AnalyticsProtocol& logic) {
                checkedCustomEvent(logic, name, parameters);
            });
}

void AnalyticsProxy::customEventFlat(std::string name, FlatParameters parameters) {
    auto body = [name = std::move(name), parameters = std::move(parameters)](AnalyticsProtocol& logic) {
        checkedCustomEvent(logic, name, parameters.expand());
    };
    // The call hosts make most, often in bursts faster than the queue runs them: with a short name and a few
    // short parameters (held in the parameters' own room) it must fit one block of the pool's 192-byte class,
    // or every waiting call takes a block of 256.
    static_assert(QueueManager::nodeBytes<QueuedCall<decltype(body)>>() <= 192,
                  "a queued custom event outgrows its block class");
    enqueue("customEvent(_:_:)", std::move(body));
}

void AnalyticsProxy::sendBufferedEvents() {
    enqueue("sendBufferedEvents()", [](AnalyticsProtocol& logic) { logic.sendBufferedEvents(); });
}

void AnalyticsProxy::virtualCurrencyPayment(std::string purchaseId, std::string purchaseType,
                                            int64_t purchaseAmount, IntMap resources) {
    enqueue("virtualCurrencyPayment(_:_:_:_:)", [purchaseId = std::move(purchaseId),
                                                 purchaseType = std::move(purchaseType), purchaseAmount,
                                                 resources = std::move(resources)](AnalyticsProtocol& logic) {
        auto validated = ValidatorRules::validateVirtualCurrencyPayment(purchaseId, purchaseType,
                                                                        purchaseAmount, resources);
        if (!validated || Validator::isExcluded("vp", AnyCodable(purchaseId))) {
            return;
        }
        logic.virtualCurrencyPayment(std::move(validated->purchaseId), std::move(validated->purchaseType),
                                     validated->purchaseAmount, std::move(validated->resources));
    });
}

void AnalyticsProxy::currencyAccrual(std::string currencyName, int64_t currencyAmount, std::string source,
                                     ZQBAccrualType accrualType) {
    enqueue("currencyAccrual(_:_:_:_:)", [currencyName = std::move(currencyName), currencyAmount,
                                          source = std::move(source), accrualType](AnalyticsProtocol& logic) {
        auto validated =
            ValidatorRules::validateCurrencyAccrual(currencyName, currencyAmount, source, accrualType);
        if (!validated || Validator::isExcluded("ca", AnyCodable(source))) {
            return;
        }
        logic.currencyAccrual(std::move(validated->currencyName), validated->currencyAmount,
                              std::move(validated->source), validated->accrualType);
    });
}

void AnalyticsProxy::startProgressionEvent(std::string eventName,
                                           ZQBStartProgressionEventParametersLocal parameters) {
    enqueue("startProgressionEvent(_:_:)", [eventName = std::move(eventName),
                                            parameters = std::move(parameters)](AnalyticsProtocol& logic) {
        auto validated = ValidatorRules::validateStartProgressionEvent(eventName, parameters);
        if (!validated || Validator::isExcluded("pe", AnyCodable(eventName))) {
            return;
        }
        logic.startProgressionEvent(std::move(validated->eventName), std::move(validated->parameters));
    });
}

void AnalyticsProxy::finishProgressionEvent(std::string eventName,
                                            ZQBFinishProgressionEventParametersLocal parameters) {
    enqueue("finishProgressionEvent(_:_:)", [eventName = std::move(eventName),
                                             parameters = std::move(parameters)](AnalyticsProtocol& logic) {
        auto validated = ValidatorRules::validateFinishProgressionEvent(eventName, parameters);
        if (!validated || Validator::isExcluded("pe", AnyCodable(eventName))) {
            return;
        }
        logic.finishProgressionEvent(std::move(validated->eventName), std::move(validated->parameters));
    });
}

void AnalyticsProxy::realCurrencyPayment(std::string orderId, double price, std::string productId,
                                         std::string currencyCode) {
    enqueue("realCurrencyPayment(_:_:_:_:)",
            [orderId = std::move(orderId), price, productId = std::move(productId),
             currencyCode = std::move(currencyCode)](AnalyticsProtocol& logic) {
                auto validated =
                    ValidatorRules::validateRealCurrencyPayment(orderId, price, productId, currencyCode);
                if (!validated || Validator::isExcluded("rp", std::nullopt)) {
                    return;
                }
                logic.realCurrencyPayment(std::move(validated->orderId), validated->price,
                                          std::move(validated->productId),
                                          std::move(validated->currencyCode));
            });
}

void AnalyticsProxy::socialNetworkConnect(ZQBSocialNetworkLocal network) {
    enqueue("socialNetworkConnect(_:)", [network = std::move(network)](AnalyticsProtocol& logic) {
        auto name = ValidatorRules::validateSocialNetworkConnect(network);
        if (!name || Validator::isExcluded("sc", AnyCodable(*name))) {
            return;
        }
        logic.socialNetworkConnect(ZQBSocialNetworkLocal{std::move(*name)});
    });
}

void AnalyticsProxy::socialNetworkPost(ZQBSocialNetworkLocal network, std::string reason) {
    enqueue("socialNetworkPost(_:_:)",
            [network = std::move(network), reason = std::move(reason)](AnalyticsProtocol& logic) {
                auto validated = ValidatorRules::validateSocialNetworkPost(network, reason);
                if (!validated || Validator::isExcluded("sp", AnyCodable(validated->name))) {
                    return;
                }
                logic.socialNetworkPost(ZQBSocialNetworkLocal{std::move(validated->name)},
                                        std::move(validated->reason));
            });
}

void AnalyticsProxy::tutorial(int64_t step) {
    enqueue("tutorial(_:)", [step](AnalyticsProtocol& logic) {
        if (!Validator::inInterval<int64_t>("Tutorial", "The step argument value", step, kMinTutorialStep,
                                            kMaxTutorialStep)) {
            ValidatorRules::notifyThatMethodExecutionWasCanceled("Tutorial");
            return;
        }
        if (Validator::isExcluded("tr", AnyCodable(step))) {
            return;
        }
        logic.tutorial(step);
    });
}

void AnalyticsProxy::referrer(ReferralData utmData) {
    enqueue("referrer(_:)", [utmData = std::move(utmData)](AnalyticsProtocol& logic) {
        auto validated = ValidatorRules::validateReferrer(utmData);
        if (!validated || Validator::isExcluded("rf", std::nullopt)) {
            return;
        }
        logic.referrer(std::move(*validated));
    });
}

void AnalyticsProxy::subscriptionPayment(host::PaymentTransaction transaction,
                                         host::StoreProductTexts product) {
    enqueue("subscriptionPayment(_:_:)", [transaction = std::move(transaction),
                                          product = std::move(product)](AnalyticsProtocol& logic) mutable {
        if (Validator::isExcluded("sbs", std::nullopt)) {
            return;
        }
        logic.subscriptionPayment(std::move(transaction), std::move(product));
    });
}

void AnalyticsProxy::subscriptionPayment(std::string productId, std::string transactionId) {
    enqueue(
        "subscriptionPayment(_:_:)", [productId = std::move(productId),
                                      transactionId = std::move(transactionId)](AnalyticsProtocol& logic) {
            // The exclusion is looked up first: an excluded payment is dropped without the rule's messages.
            if (Validator::isExcluded("sbs", std::nullopt)) {
                return;
            }
            auto validated = ValidatorRules::validateSubscriptionPayment(productId, transactionId);
            if (!validated) {
                return;
            }
            logic.subscriptionPayment(std::move(validated->productId), std::move(validated->transactionId));
        });
}

void AnalyticsProxy::subscriptionHistory(std::vector<host::PaymentTransaction> transactions) {
    enqueue("subscriptionHistory(_:)",
            [transactions = std::move(transactions)](AnalyticsProtocol& logic) mutable {
                if (Validator::isExcluded("sbsr", std::nullopt)) {
                    return;
                }
                logic.subscriptionHistory(std::move(transactions));
            });
}

void AnalyticsProxy::subscriptionHistory(SubscriptionHistory history) {
    enqueue("subscriptionHistory(_:)", [history = std::move(history)](AnalyticsProtocol& logic) mutable {
        if (Validator::isExcluded("sbsr", std::nullopt)) {
            return;
        }
        logic.subscriptionHistory(std::move(history));
    });
}

void AnalyticsProxy::adImpression(std::string network, double revenue, std::optional<std::string> placement,
                                  std::optional<std::string> unit) {
    enqueue("adImpression(_:_:_:_:)",
            [network = std::move(network), revenue, placement = std::move(placement),
             unit = std::move(unit)](AnalyticsProtocol& logic) {
                auto validated = ValidatorRules::validateAdImpression(network, revenue, placement, unit);
                if (!validated || Validator::isExcluded("adrv", std::nullopt)) {
                    return;
                }
                logic.adImpression(std::move(validated->network), validated->revenue,
                                   std::move(validated->placement), std::move(validated->unit));
            });
}

}  // namespace zqb
