#include "logic/AnalyticsLogic.hpp"

#include "foundation/Logger.hpp"
#include "host/Environment.hpp"
#include "model/RealCurrencyPayment.hpp"
#include "model/RestoredTransactionsEvent.hpp"
#include "model/SubscriptionPayment.hpp"
#include "model/SubscriptionProduct.hpp"
#include "model/SubscriptionProductsEvent.hpp"
#include "services/ProjectServiceProtocol.hpp"
#include "services/ReportServiceProtocol.hpp"
#include "services/StoreProductExtension.hpp"
#include "services/SubscriptionServiceProtocol.hpp"

#include <utility>

namespace zqb {

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
    store(RealCurrencyPayment(now(), *user->sessionId, user->level, std::move(productId), orderId, price,
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
        subscription = zqb::subscriptionProduct(*priced, environment_.storeKit()->systemVersion());
    }

    bool paymentStored = false;
    if (projectService_->isCurrencyPaymentMarked(*orderId)) {
        if (isRenewal) {
            Logger::writeLog(ZQBLogLevel::debug,
                             "Subscription payment with orderId [" + *orderId + "] is renewal");
        }
    } else {
        store(SubscriptionPayment(now(), *user->sessionId, user->level, product.productIdentifier, *orderId,
                                  zqb::regionCode(product.priceLocale).value_or(""),
                                  zqb::currencyCode(product.priceLocale).value_or(""), inProgress()));
        markOrderId(*orderId);
        paymentStored = true;
    }
    if (subscription && !subscriptionService_->checkIfContains(*subscription)) {
        store(SubscriptionProductsEvent(now(), {*subscription}));
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
    store(SubscriptionPayment(now(), *user->sessionId, user->level, productId, transactionId,
                              known ? known->regionCode : std::string(),
                              known ? known->currencyCode : std::string(), inProgress()));
    markOrderId(transactionId);
    reportService_->sendBufferedEvents();
}

template <typename Transactions>
void AnalyticsLogic::restoreSubscriptionHistory(const Transactions& transactions) {
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

void AnalyticsLogic::subscriptionHistory(std::vector<host::PaymentTransaction> transactions) {
    restoreSubscriptionHistory(transactions);
}

void AnalyticsLogic::subscriptionHistory(SubscriptionHistory history) {
    restoreSubscriptionHistory(history);
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
    store(RestoredTransactionsEvent(now(), *data->currencyCode, data->transactions));
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
    store(SubscriptionProductsEvent(now(), *products));
    reportService_->sendBufferedEvents();
    subscriptionService_->resetSendProductsMark();
    subscriptionService_->resetHistoryMark();
    sendSubscriptionsHistoryEvent();
}

}  // namespace zqb
