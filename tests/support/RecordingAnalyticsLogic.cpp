#include "support/RecordingAnalyticsLogic.hpp"

#include "foundation/TextUtils.hpp"

#include <algorithm>
#include <utility>

namespace zqb::test {
namespace {

std::string number(int64_t value) {
    return std::to_string(value);
}

std::string number(double value) {
    return text::doubleDescription(value);
}

std::string flag(bool value) {
    return value ? "true" : "false";
}

}  // namespace

std::vector<std::string> RecordingAnalyticsLogic::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> RecordingAnalyticsLogic::callsOf(const std::string& operation) const {
    std::vector<std::string> out;
    for (auto& line : calls()) {
        if (line.rfind(operation + "(", 0) == 0) {
            out.push_back(std::move(line));
        }
    }
    return out;
}

void RecordingAnalyticsLogic::clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

void RecordingAnalyticsLogic::record(std::string line) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(line));
}

std::string RecordingAnalyticsLogic::quoted(const std::string& value) {
    return "\"" + value + "\"";
}

std::string RecordingAnalyticsLogic::text(const std::optional<std::string>& value) {
    return value ? quoted(*value) : "nil";
}

std::string RecordingAnalyticsLogic::text(const IntMap& map) {
    std::string out = "{";
    for (const auto& [key, value] : map) {
        if (out.size() > 1) {
            out += ", ";
        }
        out += quoted(key) + ": " + number(value);
    }
    return out + "}";
}

std::string RecordingAnalyticsLogic::text(const AnyCodableMap& map) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto& [key, value] : map) {
        entries.emplace_back(key, value.kind() == AnyCodable::Kind::string ? quoted(*value.stringValue())
                                                                           : value.description());
    }
    std::sort(entries.begin(), entries.end());
    std::string out = "{";
    for (const auto& [key, value] : entries) {
        if (out.size() > 1) {
            out += ", ";
        }
        out += quoted(key) + ": " + value;
    }
    return out + "}";
}

std::string RecordingAnalyticsLogic::text(const host::PaymentTransaction& transaction) {
    std::string out =
        "{" + text(transaction.transactionIdentifier) + ", " + quoted(transaction.productIdentifier);
    if (transaction.originalTransaction) {
        out += ", original " + text(*transaction.originalTransaction);
    }
    return out + "}";
}

LogicBroadcasterProtocol::IdentifiersUpdate RecordingAnalyticsLogic::onBackendIdentifiersUpdate() const {
    std::lock_guard lock(mutex_);
    return identifiersUpdate_;
}

void RecordingAnalyticsLogic::setOnBackendIdentifiersUpdate(IdentifiersUpdate closure) {
    std::lock_guard lock(mutex_);
    identifiersUpdate_ = std::move(closure);
}

void RecordingAnalyticsLogic::stopSDK() {
    record("stopSDK()");
}

void RecordingAnalyticsLogic::getDeviceId(StringCompletion completion) {
    record("getDeviceId()");
    completion(deviceId);
}

void RecordingAnalyticsLogic::getSDKVersion(StringCompletion completion) {
    record("getSDKVersion()");
    completion(sdkVersion);
}

void RecordingAnalyticsLogic::getTrackingAvailability(BoolCompletion completion) {
    record("getTrackingAvailability()");
    completion(trackingAvailability);
}

void RecordingAnalyticsLogic::setTrackingAvailability(bool value) {
    record("setTrackingAvailability(" + flag(value) + ")");
}

void RecordingAnalyticsLogic::getUserId(StringCompletion completion) {
    record("getUserId()");
    completion(userId);
}

void RecordingAnalyticsLogic::setUserId(std::string id) {
    record("setUserId(" + quoted(id) + ")");
}

void RecordingAnalyticsLogic::replaceUserId(std::string prevUserId, std::string id) {
    record("replaceUserId(" + quoted(prevUserId) + ", " + quoted(id) + ")");
}

void RecordingAnalyticsLogic::getCurrentLevel(LevelCompletion completion) {
    record("getCurrentLevel()");
    completion(currentLevel);
}

void RecordingAnalyticsLogic::setCurrentLevel(int64_t level) {
    record("setCurrentLevel(" + number(level) + ")");
}

void RecordingAnalyticsLogic::levelUp(int64_t level, IntMap balances) {
    record("levelUp(" + number(level) + ", " + text(balances) + ")");
}

void RecordingAnalyticsLogic::currentBalance(IntMap balances) {
    record("currentBalance(" + text(balances) + ")");
}

void RecordingAnalyticsLogic::customEvent(std::string name, AnyCodableMap parameters) {
    record("customEvent(" + quoted(name) + ", " + text(parameters) + ")");
}

void RecordingAnalyticsLogic::sendBufferedEvents() {
    record("sendBufferedEvents()");
}

void RecordingAnalyticsLogic::virtualCurrencyPayment(std::string purchaseId, std::string purchaseType,
                                                     int64_t purchaseAmount, IntMap resources) {
    record("virtualCurrencyPayment(" + quoted(purchaseId) + ", " + quoted(purchaseType) + ", " +
           number(purchaseAmount) + ", " + text(resources) + ")");
}

void RecordingAnalyticsLogic::currencyAccrual(std::string currencyName, int64_t currencyAmount,
                                              std::string source, ZQBAccrualType accrualType) {
    record("currencyAccrual(" + quoted(currencyName) + ", " + number(currencyAmount) + ", " + quoted(source) +
           ", " + std::string(description(accrualType)) + ")");
}

void RecordingAnalyticsLogic::startProgressionEvent(std::string eventName,
                                                    ZQBStartProgressionEventParametersLocal parameters) {
    record("startProgressionEvent(" + quoted(eventName) + ", " +
           (parameters.difficulty ? number(*parameters.difficulty) : "nil") + ", " + text(parameters.source) +
           ")");
}

void RecordingAnalyticsLogic::finishProgressionEvent(std::string eventName,
                                                     ZQBFinishProgressionEventParametersLocal parameters) {
    record("finishProgressionEvent(" + quoted(eventName) + ", " + flag(parameters.successfulCompletion) +
           ", " + number(parameters.duration) + ", " + text(parameters.spent) + ", " +
           text(parameters.earned) + ")");
}

void RecordingAnalyticsLogic::realCurrencyPayment(std::string orderId, double price, std::string productId,
                                                  std::string currencyCode) {
    record("realCurrencyPayment(" + quoted(orderId) + ", " + number(price) + ", " + quoted(productId) + ", " +
           quoted(currencyCode) + ")");
}

void RecordingAnalyticsLogic::socialNetworkConnect(ZQBSocialNetworkLocal network) {
    record("socialNetworkConnect(" + quoted(network.name) + ")");
}

void RecordingAnalyticsLogic::socialNetworkPost(ZQBSocialNetworkLocal network, std::string reason) {
    record("socialNetworkPost(" + quoted(network.name) + ", " + quoted(reason) + ")");
}

void RecordingAnalyticsLogic::tutorial(int64_t step) {
    record("tutorial(" + number(step) + ")");
}

void RecordingAnalyticsLogic::referrer(ReferralData utmData) {
    std::vector<std::string> entries;
    for (const auto& [property, value] : utmData) {
        entries.push_back(quoted(property.name()) + ": " + quoted(value));
    }
    std::sort(entries.begin(), entries.end());
    std::string out = "referrer({";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        out += (i == 0 ? "" : ", ") + entries[i];
    }
    record(out + "})");
}

int64_t RecordingAnalyticsLogic::getCustomEventParamsCount() {
    record("getCustomEventParamsCount()");
    return customEventParamsCount.load();
}

void RecordingAnalyticsLogic::isRestoreTransactionHistoryRequired(BoolCompletion completion) {
    record("isRestoreTransactionHistoryRequired()");
    completion(restoreRequired);
}

void RecordingAnalyticsLogic::subscriptionPayment(host::PaymentTransaction transaction,
                                                  host::StoreProductTexts product) {
    record("subscriptionPayment(" + text(transaction) + ", {" + quoted(product.productIdentifier) + ", " +
           product.price + ", " + quoted(product.priceLocale.identifier) + "})");
}

void RecordingAnalyticsLogic::subscriptionPayment(std::string productId, std::string transactionId) {
    record("subscriptionPayment(" + quoted(productId) + ", " + quoted(transactionId) + ")");
}

void RecordingAnalyticsLogic::subscriptionHistory(std::vector<host::PaymentTransaction> transactions) {
    std::string out = "subscriptionHistory([";
    for (std::size_t i = 0; i < transactions.size(); ++i) {
        out += (i == 0 ? "" : ", ") + text(transactions[i]);
    }
    record(out + "])");
}

void RecordingAnalyticsLogic::subscriptionHistory(SubscriptionHistory history) {
    std::string out = "subscriptionHistory({";
    bool first = true;
    for (const auto& [product, ids] : history) {
        out += (first ? "" : ", ") + quoted(product) + ": [";
        for (std::size_t i = 0; i < ids.size(); ++i) {
            out += (i == 0 ? "" : ", ") + quoted(ids[i]);
        }
        out += "]";
        first = false;
    }
    record(out + "})");
}

void RecordingAnalyticsLogic::adImpression(std::string network, double revenue,
                                           std::optional<std::string> placement,
                                           std::optional<std::string> unit) {
    record("adImpression(" + quoted(network) + ", " + number(revenue) + ", " + text(placement) + ", " +
           text(unit) + ")");
}

}  // namespace zqb::test
