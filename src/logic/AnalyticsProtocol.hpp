#pragma once

#include "host/StoreKit.hpp"
#include "model/AnyCodable.hpp"
#include "model/Storable.hpp"
#include "model/ZQBFinishProgressionEventParametersLocal.hpp"
#include "model/ZQBSocialNetworkLocal.hpp"
#include "model/ZQBStartProgressionEventParametersLocal.hpp"

#include <ZQBAnalytics/ZQBEnums.hpp>
#include <ZQBAnalytics/ZQBReferralProperty.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace zqb {

// The analytics operations of the logic, through which the proxy and destroy reach it.
//
// Every operation runs on the income queue, with arguments that the proxy has already checked and cleaned:
// the logic applies its business rules only. Arguments are value copies owned by the call; completions are
// called exactly once, on the income queue, unless their comment says otherwise.
class AnalyticsProtocol {
public:
    using StringCompletion = std::function<void(std::string)>;
    using BoolCompletion = std::function<void(bool)>;
    using LevelCompletion = std::function<void(int64_t)>;
    // Referral data keyed by property (the five predefined keys or any other name).
    using ReferralData = std::unordered_map<ZQBReferralProperty, std::string>;
    // Product id to the original transaction ids restored for it.
    using SubscriptionHistory = std::map<std::string, std::vector<std::string>>;

    virtual ~AnalyticsProtocol() = default;

    // 1. Stops the running activity, the timers and the sending of stored reports. Called by the destroy
    // operation, on the income queue.
    virtual void stopSDK() = 0;
    // 2. The device id of the active project.
    virtual void getDeviceId(StringCompletion completion) = 0;
    // 3. The library version in force.
    virtual void getSDKVersion(StringCompletion completion) = 0;
    // 4. Whether tracking is on.
    virtual void getTrackingAvailability(BoolCompletion completion) = 0;
    // 5. Switches tracking on or off.
    virtual void setTrackingAvailability(bool value) = 0;
    // 6. The active user's id.
    virtual void getUserId(StringCompletion completion) = 0;
    // 7. Selects the user (an empty id selects the device's default user).
    virtual void setUserId(std::string userId) = 0;
    // 8. Renames the user `prevUserId` to `userId`.
    virtual void replaceUserId(std::string prevUserId, std::string userId) = 0;
    // 9. The active user's level.
    virtual void getCurrentLevel(LevelCompletion completion) = 0;
    // 10. Sets the active user's level (1...2147483646).
    virtual void setCurrentLevel(int64_t level) = 0;
    // 11. A new level with the balances held on reaching it (possibly none).
    virtual void levelUp(int64_t level, IntMap balances) = 0;
    // 12. The balances held now (at least one).
    virtual void currentBalance(IntMap balances) = 0;
    // 13. A custom event with its parameters (possibly none).
    virtual void customEvent(std::string name, AnyCodableMap parameters) = 0;
    // 14. Sends the stored events now.
    virtual void sendBufferedEvents() = 0;
    // 15. A purchase paid in virtual currencies (`resources`: currency to amount, at least one).
    virtual void virtualCurrencyPayment(std::string purchaseId, std::string purchaseType,
                                        int64_t purchaseAmount, IntMap resources) = 0;
    // 16. Virtual currency earned or bought.
    virtual void currencyAccrual(std::string currencyName, int64_t currencyAmount, std::string source,
                                 ZQBAccrualType accrualType) = 0;
    // 17. The start of a progression event.
    virtual void startProgressionEvent(std::string eventName,
                                       ZQBStartProgressionEventParametersLocal parameters) = 0;
    // 18. The finish of a progression event.
    virtual void finishProgressionEvent(std::string eventName,
                                        ZQBFinishProgressionEventParametersLocal parameters) = 0;
    // 19. An in-app purchase paid in real currency (`currencyCode` as the caller gave it).
    virtual void realCurrencyPayment(std::string orderId, double price, std::string productId,
                                     std::string currencyCode) = 0;
    // 20. A connection to a social network.
    virtual void socialNetworkConnect(ZQBSocialNetworkLocal network) = 0;
    // 21. A post to a social network.
    virtual void socialNetworkPost(ZQBSocialNetworkLocal network, std::string reason) = 0;
    // 22. A tutorial step (-2...2147483647).
    virtual void tutorial(int64_t step) = 0;
    // 23. Referral data (at least one entry).
    virtual void referrer(ReferralData utmData) = 0;
    // 24. `eventParamsCount` of the active project's configuration. On the income queue only: callers on
    // other threads read `CustomEventParamsLimit::current()`, which the logic keeps up to date.
    virtual int64_t getCustomEventParamsCount() = 0;
    // 25. Whether the project's purchase history still has to be restored.
    virtual void isRestoreTransactionHistoryRequired(BoolCompletion completion) = 0;
    // 26. A subscription payment given as the store's transaction and product.
    virtual void subscriptionPayment(host::PaymentTransaction transaction,
                                     host::StoreProductTexts product) = 0;
    // 27. A subscription payment given as product id and transaction id (engine plug-ins).
    virtual void subscriptionPayment(std::string productId, std::string transactionId) = 0;
    // 28. The restored purchase history as the store's transactions.
    virtual void subscriptionHistory(std::vector<host::PaymentTransaction> transactions) = 0;
    // 29. The restored purchase history as product id to original transaction ids (engine plug-ins).
    virtual void subscriptionHistory(SubscriptionHistory history) = 0;
    // 30. Revenue of one ad impression; placement and unit absent when not given.
    virtual void adImpression(std::string network, double revenue, std::optional<std::string> placement,
                              std::optional<std::string> unit) = 0;
};

}  // namespace zqb
