#pragma once

#include "logic/AnalyticsLogicProtocol.hpp"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zqb::test {

// An analytics logic that records every call it receives, one line per call, and answers the queries with
// settable values. Lines read like calls: `customEvent("Ev", {"a": 1, "b": "x"})`, with texts quoted,
// doubles in their Swift-style text, maps in key order and an absent optional as `nil`.
//
// Safe to read from the test's thread while the income queue calls it.
class RecordingAnalyticsLogic : public AnalyticsLogicProtocol {
public:
    // The recorded calls, in order; the three start-up operations and the broadcaster are not recorded.
    std::vector<std::string> calls() const;
    // Recorded calls that start with `operation` followed by "(".
    std::vector<std::string> callsOf(const std::string& operation) const;
    void clear();

    // Answers of the queries.
    std::string deviceId = "DEVICE-ID";
    std::string sdkVersion = "2.1.2";
    std::string userId = "USER-ID";
    int64_t currentLevel = 7;
    bool trackingAvailability = true;
    bool restoreRequired = true;
    std::atomic<int64_t> customEventParamsCount{20};
    std::atomic<int> forcedUpdates{0};

    void prepareCallBacks() override {}
    void applyAnalyticsConfiguration(const std::optional<ZQBAnalyticsConfigurationLocal>&) override {}
    void tryStartSDK() override {}

    IdentifiersUpdate onBackendIdentifiersUpdate() const override;
    void setOnBackendIdentifiersUpdate(IdentifiersUpdate closure) override;
    void forceUpdate() override { ++forcedUpdates; }

    void stopSDK() override;
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
    int64_t getCustomEventParamsCount() override;
    void isRestoreTransactionHistoryRequired(BoolCompletion completion) override;
    void subscriptionPayment(host::PaymentTransaction transaction, host::StoreProductTexts product) override;
    void subscriptionPayment(std::string productId, std::string transactionId) override;
    void subscriptionHistory(std::vector<host::PaymentTransaction> transactions) override;
    void subscriptionHistory(SubscriptionHistory history) override;
    void adImpression(std::string network, double revenue, std::optional<std::string> placement,
                      std::optional<std::string> unit) override;

    // The argument texts the recorded lines use.
    static std::string quoted(const std::string& text);
    static std::string text(const std::optional<std::string>& text);
    static std::string text(const IntMap& map);
    static std::string text(const AnyCodableMap& map);
    static std::string text(const host::PaymentTransaction& transaction);

private:
    void record(std::string line);

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    IdentifiersUpdate identifiersUpdate_;
};

}  // namespace zqb::test
