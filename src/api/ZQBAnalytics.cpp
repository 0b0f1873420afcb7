#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include "api/CustomEventParametersCopy.hpp"
#include "api/GuardedHandler.hpp"
#include "api/StoreObjectsCopy.hpp"
#include "core/AnalyticsProxy.hpp"
#include "core/Core.hpp"
#include "database/SQLiteProvider.hpp"
#include "foundation/Logger.hpp"
#include "foundation/TextUtils.hpp"
#include "host/AtomicFile.hpp"
#include "host/Environment.hpp"
#include "model/ZQBAnalyticsConfigurationLocal.hpp"
#include "model/ZQBFinishProgressionEventParametersLocal.hpp"
#include "model/ZQBSocialNetworkLocal.hpp"
#include "model/ZQBStartProgressionEventParametersLocal.hpp"
#include "network/BackendConfigUrl.hpp"
#include "platform/IdentifierCollector.hpp"
#include "validation/Validator.hpp"

#include <utility>

namespace {

using zqb::guarded;
using zqb::text::repairUtf8;

// The HTTP client is set up on the host's thread before `initialize` returns: a host may return from `main`
// at any moment after that, and the exit must find the set-up done. It follows the queuing of the start-up,
// which opens the database on the income queue meanwhile and reaches for the HTTP session only after that.
// The set-up runs once: had a library thread begun it first, this call waits until it is done.
void prepareHttpClient() {
    zqb::host::Environment::shared().httpSession();
}

// Every forwarding member starts here: the shared core (created when absent) and its proxy, borrowed for
// the whole call (a destroy running meanwhile waits for it). Each forwarding call only queues work.
class ProxyCall {
public:
    zqb::AnalyticsProxy* operator->() const { return core_->analyticsProxy().get(); }

private:
    friend ProxyCall proxy();
    ProxyCall() : core_(zqb::Core::borrowShared()) {}
    zqb::Core::Borrowed core_;
};

ProxyCall proxy() {
    return ProxyCall();
}

zqb::IntMap repaired(const ZQBAnalytics::Balances& balances) {
    zqb::IntMap copy;
    for (const auto& [key, value] : balances) {
        // Two keys that differ only in their invalid bytes become one; the later value stays, as for any
        // keys the rules find equal.
        copy.insert_or_assign(repairUtf8(key), value);
    }
    return copy;
}

std::optional<std::string> repaired(const std::optional<std::string>& value) {
    if (!value) {
        return std::nullopt;
    }
    return repairUtf8(*value);
}

}  // namespace

// ---- Start-up --------------------------------------------------------------------------------------------

void ZQBAnalytics::initialize(std::string_view applicationKey,
                              const ZQBAnalyticsConfiguration& configuration) {
    zqb::Core::shared()->initialize(repairUtf8(applicationKey),
                                    zqb::ZQBAnalyticsConfigurationLocal::from(configuration));
    prepareHttpClient();
}

void ZQBAnalytics::initialize(std::string_view applicationKey) {
    zqb::Core::shared()->initialize(repairUtf8(applicationKey), std::nullopt);
    prepareHttpClient();
}

// ---- Log -------------------------------------------------------------------------------------------------

ZQBLogLevel ZQBAnalytics::logLevel() {
    return zqb::Logger::logLevel();
}

void ZQBAnalytics::setLogLevel(ZQBLogLevel level) {
    // Checked here, on the caller's thread, where the level is set.
    if (level != ZQBLogLevel::unknown &&
        zqb::Validator::validCase("setLogLevel(_:)", "The log level argument value", level)) {
        zqb::Logger::setLogLevel(level);
    }
}

std::function<void(const std::string&)> ZQBAnalytics::loggerMessageClosure() {
    return zqb::Logger::loggerMessageClosure();
}

void ZQBAnalytics::setLoggerMessageClosure(std::function<void(const std::string&)> closure) {
    zqb::Logger::setLoggerMessageClosure(std::move(closure));
}

// ---- Queries ---------------------------------------------------------------------------------------------

void ZQBAnalytics::getDeviceId(StringHandler completionHandler) {
    proxy()->getDeviceId(
        guarded<std::string>(std::move(completionHandler), "getDeviceId(completionHandler:)"));
}

void ZQBAnalytics::getSDKVersion(StringHandler completionHandler) {
    proxy()->getSDKVersion(
        guarded<std::string>(std::move(completionHandler), "getSDKVersion(completionHandler:)"));
}

void ZQBAnalytics::getTrackingAvailability(BoolHandler completionHandler) {
    proxy()->getTrackingAvailability(
        guarded<bool>(std::move(completionHandler), "getTrackingAvailability(completionHandler:)"));
}

void ZQBAnalytics::getUserId(StringHandler completionHandler) {
    proxy()->getUserId(guarded<std::string>(std::move(completionHandler), "getUserId(completionHandler:)"));
}

void ZQBAnalytics::getCurrentLevel(LevelHandler completionHandler) {
    proxy()->getCurrentLevel(
        guarded<int64_t>(std::move(completionHandler), "getCurrentLevel(completionHandler:)"));
}

void ZQBAnalytics::isRestoreTransactionHistoryRequired(BoolHandler completionHandler) {
    proxy()->isRestoreTransactionHistoryRequired(guarded<bool>(
        std::move(completionHandler), "isRestoreTransactionHistoryRequired(completionHandler:)"));
}

// ---- Users and tracking ----------------------------------------------------------------------------------

void ZQBAnalytics::setTrackingAvailability(bool value) {
    proxy()->setTrackingAvailability(value);
}

void ZQBAnalytics::setUserId(std::string_view userId) {
    proxy()->setUserId(repairUtf8(userId));
}

void ZQBAnalytics::replace(std::string_view fromUserId, std::string_view toUserId) {
    proxy()->replaceUserId(repairUtf8(fromUserId), repairUtf8(toUserId));
}

void ZQBAnalytics::setCurrentLevel(int64_t currentLevel) {
    proxy()->setCurrentLevel(currentLevel);
}

// ---- Levels and balances ---------------------------------------------------------------------------------

void ZQBAnalytics::levelUp(int64_t level) {
    proxy()->levelUp(level, {});
}

void ZQBAnalytics::levelUp(int64_t level, const Balances& balances) {
    proxy()->levelUp(level, repaired(balances));
}

void ZQBAnalytics::currentBalance(const Balances& balance) {
    proxy()->currentBalance(repaired(balance));
}

// ---- Events ----------------------------------------------------------------------------------------------

void ZQBAnalytics::customEvent(std::string_view eventName) {
    proxy()->customEventFlat(repairUtf8(eventName), zqb::FlatParameters());
}

void ZQBAnalytics::customEvent(std::string_view eventName, const ZQBCustomEventParameters& parameters) {
    // The set's texts were repaired when they were added.
    proxy()->customEventFlat(repairUtf8(eventName), zqb::customEventParametersCopy(parameters));
}

void ZQBAnalytics::sendBufferedEvents() {
    proxy()->sendBufferedEvents();
}

void ZQBAnalytics::virtualCurrencyPayment(std::string_view purchaseId, std::string_view purchaseType,
                                          int64_t purchaseAmount, int64_t purchasePrice,
                                          std::string_view purchaseCurrency) {
    proxy()->virtualCurrencyPayment(repairUtf8(purchaseId), repairUtf8(purchaseType), purchaseAmount,
                                    {{repairUtf8(purchaseCurrency), purchasePrice}});
}

void ZQBAnalytics::virtualCurrencyPayment(std::string_view purchaseId, std::string_view purchaseType,
                                          int64_t purchaseAmount, const Balances& resources) {
    proxy()->virtualCurrencyPayment(repairUtf8(purchaseId), repairUtf8(purchaseType), purchaseAmount,
                                    repaired(resources));
}

void ZQBAnalytics::currencyAccrual(std::string_view currencyName, int64_t currencyAmount,
                                   std::string_view source, ZQBAccrualType accrualType) {
    proxy()->currencyAccrual(repairUtf8(currencyName), currencyAmount, repairUtf8(source), accrualType);
}

void ZQBAnalytics::startProgressionEvent(std::string_view eventName) {
    proxy()->startProgressionEvent(repairUtf8(eventName), zqb::ZQBStartProgressionEventParametersLocal{});
}

void ZQBAnalytics::startProgressionEvent(std::string_view eventName,
                                         const ZQBStartProgressionEventParameters& parameters) {
    proxy()->startProgressionEvent(repairUtf8(eventName),
                                   zqb::ZQBStartProgressionEventParametersLocal::from(parameters));
}

void ZQBAnalytics::finishProgressionEvent(std::string_view eventName) {
    proxy()->finishProgressionEvent(repairUtf8(eventName),
                                    zqb::ZQBFinishProgressionEventParametersLocal{true, 0, {}, {}});
}

void ZQBAnalytics::finishProgressionEvent(std::string_view eventName,
                                          const ZQBFinishProgressionEventParameters& parameters) {
    proxy()->finishProgressionEvent(repairUtf8(eventName),
                                    zqb::ZQBFinishProgressionEventParametersLocal::from(parameters));
}

void ZQBAnalytics::realCurrencyPayment(std::string_view orderId, double price, std::string_view productId,
                                       std::string_view currencyCode) {
    proxy()->realCurrencyPayment(repairUtf8(orderId), price, repairUtf8(productId), repairUtf8(currencyCode));
}

void ZQBAnalytics::subscriptionHistory(const std::vector<ZQBStoreTransaction>& transactions) {
    std::vector<zqb::host::PaymentTransaction> copies;
    copies.reserve(transactions.size());
    for (const auto& transaction : transactions) {
        copies.push_back(zqb::paymentTransactionCopy(transaction));
    }
    proxy()->subscriptionHistory(std::move(copies));
}

void ZQBAnalytics::subscriptionPayment(const ZQBStoreTransaction& transaction,
                                       const ZQBStoreProduct& product) {
    proxy()->subscriptionPayment(zqb::paymentTransactionCopy(transaction), zqb::storeProductCopy(product));
}

void ZQBAnalytics::socialNetworkConnect(const ZQBSocialNetwork& socialNetwork) {
    proxy()->socialNetworkConnect(zqb::ZQBSocialNetworkLocal::from(socialNetwork));
}

void ZQBAnalytics::socialNetworkPost(const ZQBSocialNetwork& socialNetwork, std::string_view reason) {
    proxy()->socialNetworkPost(zqb::ZQBSocialNetworkLocal::from(socialNetwork), repairUtf8(reason));
}

void ZQBAnalytics::tutorial(int64_t step) {
    proxy()->tutorial(step);
}

void ZQBAnalytics::referrer(const ReferralData& utmData) {
    zqb::AnalyticsProtocol::ReferralData copy;
    for (const auto& [property, value] : utmData) {
        copy.insert_or_assign(property, repairUtf8(value));
    }
    proxy()->referrer(std::move(copy));
}

void ZQBAnalytics::adImpression(std::string_view network, double revenue,
                                const std::optional<std::string>& placement,
                                const std::optional<std::string>& unit) {
    proxy()->adImpression(repairUtf8(network), revenue, repaired(placement), repaired(unit));
}

// ---- Identifiers listener --------------------------------------------------------------------------------

void ZQBAnalytics::setIdentifiersListener(std::shared_ptr<ZQBIdentifiersListener> listener) {
    zqb::Core::shared()->analyticsObserver()->addIdentifiersListener(std::move(listener));
}

// ---- Test and maintenance hooks --------------------------------------------------------------------------

void ZQBAnalytics::testLogs() {
    zqb::Logger::writeLog(ZQBLogLevel::error, "this is error message");
    zqb::Logger::writeLog(ZQBLogLevel::warning, "this is warning message");
    zqb::Logger::writeLog(ZQBLogLevel::info, "this is info message");
    zqb::Logger::writeLog(ZQBLogLevel::debug, "this is debug message");
}

void ZQBAnalytics::setTestProxyUrl(std::string_view url) {
    zqb::Core::shared();
    zqb::BackendConfigUrl::setTestProxyUrl(repairUtf8(url));
}

void ZQBAnalytics::getTestProxyUrl(StringHandler urlHandler) {
    zqb::Core::shared();
    if (urlHandler) {
        urlHandler(zqb::BackendConfigUrl::testProxyUrl());
    }
}

void ZQBAnalytics::setTestCustomUrl(std::string_view url) {
    zqb::Core::shared();
    zqb::BackendConfigUrl::setTestCustomUrl(repairUtf8(url));
}

void ZQBAnalytics::getTestCustomUrl(StringHandler urlHandler) {
    zqb::Core::shared();
    if (urlHandler) {
        urlHandler(zqb::BackendConfigUrl::testCustomUrl());
    }
}

std::string ZQBAnalytics::sdkFolderPath() {
    // A folder that cannot be made (its name, or a parent's, is taken by a file) holds no database either.
    const auto folder = zqb::SQLiteProvider::folderPath(*zqb::host::Environment::shared().files());
    return folder && zqb::host::AtomicFile::canMakeDirectory(*folder) ? folder->string()
                                                                      : "fileMessagerError";
}

void ZQBAnalytics::clearKeychain() {
    zqb::IdentifierCollector::deleteSavedIdentifiers(zqb::host::Environment::shared());
}
