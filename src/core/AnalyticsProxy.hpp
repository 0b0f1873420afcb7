#pragma once

#include "foundation/QueueManager.hpp"
#include "logic/AnalyticsProtocol.hpp"
#include "model/FlatParameters.hpp"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace zqb {

// The front of every analytics call. It holds the logic once the start-up operation has handed it over, and
// never lets go of it before the core is released.
//
// Each analytics operation is turned into one operation on the income queue that carries a copy of the
// arguments and holds the proxy weakly; the caller returns at once. On the queue the operation checks, in
// this order, that start-up has handed over the logic (else ERROR "In the <method> method an error has
// occurred: The SDK is not initialized yet!" with the method in its declaration form), that the arguments
// pass their rule (`ValidatorRules`, `Validator`), and that the project's configuration does not exclude
// the event (`Validator::isExcluded`); only then does it call the logic with the cleaned arguments. A
// refused query still answers: "" for texts, false for flags, 1 for the level. Every completion runs on
// the income queue.
//
// A queued operation whose proxy has been released (the core was destroyed meanwhile) does nothing and
// logs nothing; a query then still answers its default, so that no caller waits for an answer forever.
//
// The proxy is made by `make`. An operation holds it by address rather than by a count that the callers of
// every thread would write: once the last owner lets go, the proxy counts as released at once and is deleted
// by an operation queued behind every operation queued before. That is sound only while the queue runs every
// operation it is given: cancelling the income queue would delete the proxy while one of its calls may be
// running, so `make` has the queue refuse cancellation.
//
// The logic is set on the income queue but read on callers' threads too (`stopSDK`, and the core's destroy),
// so the reference is guarded.
class AnalyticsProxy : public AnalyticsProtocol, public std::enable_shared_from_this<AnalyticsProxy> {
public:
    static std::shared_ptr<AnalyticsProxy> make(QueueManager& incomeQueue);
    ~AnalyticsProxy() override = default;

    AnalyticsProxy(const AnalyticsProxy&) = delete;
    AnalyticsProxy& operator=(const AnalyticsProxy&) = delete;

    std::shared_ptr<AnalyticsProtocol> analyticsLogic() const;
    void setAnalyticsLogic(std::shared_ptr<AnalyticsProtocol> logic);

    // True when the logic is set. Otherwise writes ERROR "In the <methodName> method an error has occurred:
    // The SDK is not initialized yet!" and answers false.
    bool validateInitialization(const std::string& methodName) const;

    // On the caller's thread: the logic's `stopSDK()` when there is a logic, else nothing.
    void stopSDK() override;
    // On the caller's thread: the custom-event parameter limit the logic last published
    // (`CustomEventParamsLimit`), 20 before start-up.
    int64_t getCustomEventParamsCount() override;

    // Queued; see the class comment.
    void getDeviceId(StringCompletion completion) override;
    void getSDKVersion(StringCompletion completion) override;
    void getTrackingAvailability(BoolCompletion completion) override;
    void setTrackingAvailability(bool value) override;
    void getUserId(StringCompletion completion) override;
    void setUserId(std::string userId) override;
    void replaceUserId(std::string prevUserId, std::string userId) override;
    void getCurrentLevel(LevelCompletion completion) override;
    void setCurrentLevel(int64_t level) override;
    void levelUp(int64_t level, IntMap balances) override;
    void currentBalance(IntMap balances) override;
    void customEvent(std::string name, AnyCodableMap parameters) override;
    // The public call's form: the parameters stay flat while the call waits in the queue.
    void customEventFlat(std::string name, FlatParameters parameters);
    void sendBufferedEvents() override;
    void virtualCurrencyPayment(std::string purchaseId, std::string purchaseType, int64_t purchaseAmount,
                                IntMap resources) override;
    void currencyAccrual(std::string currencyName, int64_t currencyAmount, std::string source,
                         ZQBAccrualType accrualType) override;
    void startProgressionEvent(std::string eventName,
                               ZQBStartProgressionEventParametersLocal parameters) override;
    void finishProgressionEvent(std::string eventName,
                                ZQBFinishProgressionEventParametersLocal parameters) override;
    void realCurrencyPayment(std::string orderId, double price, std::string productId,
                             std::string currencyCode) override;
    void socialNetworkConnect(ZQBSocialNetworkLocal network) override;
    void socialNetworkPost(ZQBSocialNetworkLocal network, std::string reason) override;
    void tutorial(int64_t step) override;
    void referrer(ReferralData utmData) override;
    void isRestoreTransactionHistoryRequired(BoolCompletion completion) override;
    void subscriptionPayment(host::PaymentTransaction transaction, host::StoreProductTexts product) override;
    void subscriptionPayment(std::string productId, std::string transactionId) override;
    void subscriptionHistory(std::vector<host::PaymentTransaction> transactions) override;
    void subscriptionHistory(SubscriptionHistory history) override;
    void adImpression(std::string network, double revenue, std::optional<std::string> placement,
                      std::optional<std::string> unit) override;

private:
    explicit AnalyticsProxy(QueueManager& incomeQueue) : incomeQueue_(incomeQueue) {}

    template <typename Body>
    struct QueuedCall;
    // Queues `body(logic)` to run once the proxy is still there and holds a logic; `method` names the call in
    // the not-initialised message.
    template <typename Body>
    void enqueue(const char* method, Body body);
    // Queues a query: the logic's answer, or `fallback` when the call is refused.
    template <typename T>
    void enqueueQuery(const char* method, std::function<void(T)> completion, T fallback,
                      void (AnalyticsProtocol::*operation)(std::function<void(T)>));

    QueueManager& incomeQueue_;
    mutable std::mutex mutex_;
    std::shared_ptr<AnalyticsProtocol> analyticsLogic_;
    // Raised when the last owner lets go; the operations still queued then do nothing.
    std::atomic<bool> released_{false};
};

}  // namespace zqb
