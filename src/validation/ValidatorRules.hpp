#pragma once

#include "model/AnyCodable.hpp"
#include "model/Storable.hpp"
#include "model/ZQBFinishProgressionEventParametersLocal.hpp"
#include "model/ZQBSocialNetworkLocal.hpp"
#include "model/ZQBStartProgressionEventParametersLocal.hpp"
#include "validation/Validator.hpp"

#include <ZQBAnalytics/ZQBEnums.hpp>
#include <ZQBAnalytics/ZQBReferralProperty.hpp>

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zqb {

using ReferralData = std::unordered_map<ZQBReferralProperty, std::string>;

// One rule per public analytics operation. A rule takes the raw arguments of one call, removes control
// characters from every text, cuts long texts (WARNING), checks the rest and answers the cleaned arguments,
// or nothing when the call is cancelled. Every check of a rule runs and logs its own message before the
// verdict; a cancelling rule then logs "Execution of the <method> method was canceled!". Bad dictionary
// entries are dropped one by one without cancelling, unless the rule needs the dictionary non-empty.
class ValidatorRules {
public:
    ValidatorRules() = delete;

    struct ReplaceUserIdArguments {
        std::string prevUserName;
        std::string userName;
        bool operator==(const ReplaceUserIdArguments&) const = default;
    };
    struct CustomEventArguments {
        std::string name;
        AnyCodableMap params;
    };
    struct CurrencyAccrualArguments {
        std::string currencyName;
        int64_t currencyAmount;
        std::string source;
        ZQBAccrualType accrualType;
        bool operator==(const CurrencyAccrualArguments&) const = default;
    };
    struct VirtualCurrencyPaymentArguments {
        std::string purchaseId;
        std::string purchaseType;
        int64_t purchaseAmount;
        IntMap resources;
        bool operator==(const VirtualCurrencyPaymentArguments&) const = default;
    };
    struct StartProgressionEventArguments {
        std::string eventName;
        ZQBStartProgressionEventParametersLocal parameters;
        bool operator==(const StartProgressionEventArguments&) const = default;
    };
    struct FinishProgressionEventArguments {
        std::string eventName;
        ZQBFinishProgressionEventParametersLocal parameters;
        bool operator==(const FinishProgressionEventArguments&) const = default;
    };
    struct RealCurrencyPaymentArguments {
        std::string orderId;
        double price;
        std::string productId;
        std::string currencyCode;
        bool operator==(const RealCurrencyPaymentArguments&) const = default;
    };
    struct SubscriptionPaymentArguments {
        std::string productId;
        std::string transactionId;
        bool operator==(const SubscriptionPaymentArguments&) const = default;
    };
    struct SocialNetworkPostArguments {
        std::string name;
        std::string reason;
        bool operator==(const SocialNetworkPostArguments&) const = default;
    };
    struct AdImpressionArguments {
        std::string network;
        double revenue;
        std::optional<std::string> placement;
        std::optional<std::string> unit;
        bool operator==(const AdImpressionArguments&) const = default;
    };

    // ERROR "Execution of the <method> method was canceled!".
    static void notifyThatMethodExecutionWasCanceled(std::string_view method);

    // Method "Initialize": the key cleaned, cut to 255, non-empty and made of characters that stand for
    // themselves in a query (see `sendableKey`); else the cancel notice.
    static std::optional<std::string> validateInitializeKey(std::string_view key);

    // An empty id comes back as it is, without a message (it selects the default user). Otherwise cleaned,
    // cut to 64 and non-empty. No cancel notice: the caller writes it.
    static std::optional<std::string> validateUserId(std::string_view method, std::string_view userId);

    // Method "Initialize", never cancels: an invalid user id and a level outside 1...2147483646 become
    // absent, a log level or tracking status that is no case of its enumeration becomes `unknown` (the one
    // in force is kept). Works on any configuration copy with optional members `userId` (text) and `level`
    // (integer) and the members `logLevel` and `trackingAvailability`.
    template <typename Configuration>
    requires requires(Configuration c) {
        { c.userId } -> std::convertible_to<std::optional<std::string>>;
        { c.level } -> std::convertible_to<std::optional<int64_t>>;
        { c.logLevel } -> std::convertible_to<ZQBLogLevel>;
        { c.trackingAvailability } -> std::convertible_to<ZQBTrackingStatus>;
    }
    static std::optional<Configuration> validateInitialize(std::optional<Configuration> configuration) {
        if (!configuration) {
            return configuration;
        }
        if (!Validator::validCase(kInitialize, "The log level argument value", configuration->logLevel)) {
            configuration->logLevel = ZQBLogLevel::unknown;
        }
        if (!Validator::validCase(kInitialize, "The tracking availability argument value",
                                  configuration->trackingAvailability)) {
            configuration->trackingAvailability = ZQBTrackingStatus::unknown;
        }
        if (configuration->userId) {
            configuration->userId = validateUserId(kInitialize, *configuration->userId);
        }
        if (configuration->level &&
            !Validator::inInterval<int64_t>(kInitialize, "The current level argument value",
                                            *configuration->level, 1, 2147483646)) {
            configuration->level = std::nullopt;
        }
        return configuration;
    }

    // Both ids cleaned, cut to 64 and non-empty (an empty id is an error here). No cancel notice: the
    // caller writes it.
    static std::optional<ReplaceUserIdArguments> validateReplaceUserId(std::string_view method,
                                                                       std::string_view prevUserId,
                                                                       std::string_view userId);

    // Method "CustomEvent": the name cleaned, cut to 72 and required; each parameter kept only when its
    // cleaned key is non-empty and its value an Int, a finite Double, a non-empty String (cleaned, cut to
    // 255), a Bool or a gender, under its key cut to 32. Bad parameters never cancel.
    static std::optional<CustomEventArguments> validateCustomEvent(std::string_view name,
                                                                   const AnyCodableMap& params);

    // Method "CurrencyAccrual": name cut to 24, source cut to 32, both required; amount in 1...2147483647;
    // the accrual type one of its cases.
    static std::optional<CurrencyAccrualArguments> validateCurrencyAccrual(std::string_view currencyName,
                                                                           int64_t currencyAmount,
                                                                           std::string_view source,
                                                                           ZQBAccrualType accrualType);

    // A resource dictionary: keys cleaned, cut to `maxKeyLength` and required, values in min...max; failing
    // entries dropped, keys that end up equivalent keep the later value. Never cancels.
    static IntMap validateResorces(std::string_view method, std::string_view dictionaryName,
                                   const IntMap& resources, int64_t maxKeyLength, int64_t min, int64_t max);

    // Method "VirtualCurrencyPayment": amount in 1...2147483647; resources (keys 24, values
    // 1...2147483647) must keep an entry; purchase id cut to 32 and type cut to 96, both required.
    static std::optional<VirtualCurrencyPaymentArguments> validateVirtualCurrencyPayment(
        std::string_view purchaseId, std::string_view purchaseType, int64_t purchaseAmount,
        const IntMap& resources);

    // Method "StartProgressionEvent": name cut to 40 and required; source cleaned and cut to 40 (may end up
    // empty); difficulty, when given, in 0...2147483647.
    static std::optional<StartProgressionEventArguments> validateStartProgressionEvent(
        std::string_view eventName, const ZQBStartProgressionEventParametersLocal& parameters);

    // Method "FinishProgressionEvent": name cut to 40 and required; duration in 0...2147483647; spent and
    // earned entries (keys 24, values >= 1) dropped one by one.
    static std::optional<FinishProgressionEventArguments> validateFinishProgressionEvent(
        std::string_view eventName, const ZQBFinishProgressionEventParametersLocal& parameters);

    // Method "RealCurrencyPayment": order id cut to 65, product id cut to 255, both required; the cleaned
    // currency code exactly 3 characters (the code is handed on as the caller gave it); price neither NaN
    // nor infinite.
    static std::optional<RealCurrencyPaymentArguments> validateRealCurrencyPayment(
        std::string_view orderId, double price, std::string_view productId, std::string_view currencyCode);

    // Method "SubscriptionPayment": both ids cut to 255 and required.
    static std::optional<SubscriptionPaymentArguments> validateSubscriptionPayment(
        std::string_view productId, std::string_view transactionId);

    // Method "SocialNetworkConnect": the name cut to 24 and required; answers the cleaned name.
    static std::optional<std::string> validateSocialNetworkConnect(const ZQBSocialNetworkLocal& network);

    // Method "SocialNetworkPost": name cut to 24 and reason cut to 32, both required.
    static std::optional<SocialNetworkPostArguments> validateSocialNetworkPost(
        const ZQBSocialNetworkLocal& network, std::string_view reason);

    // Method "Referrer": each value cleaned, cut to 255 and required, else its entry is dropped; at least
    // one entry must remain.
    static std::optional<ReferralData> validateReferrer(const ReferralData& utmData);

    // Method "AdImpression": network cut to 100 and required; placement and unit cleaned, cut to 100 and
    // absent when they end up empty (silently); revenue in 0...max finite double, not NaN.
    static std::optional<AdImpressionArguments> validateAdImpression(
        std::string_view network, double revenue, const std::optional<std::string>& placement,
        const std::optional<std::string>& unit);

private:
    static constexpr std::string_view kInitialize = "Initialize";

    // True when the key holds only ASCII letters, digits and - . _ ~ ! $ ' ( ) * , : / = @ ?; else an ERROR
    // that names the first other character.
    static bool sendableKey(std::string_view argument, std::string_view key);
};

}  // namespace zqb
