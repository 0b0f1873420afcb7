#include "services/SubscriptionService.hpp"

#include "backend/Config.hpp"
#include "foundation/Logger.hpp"
#include "services/StoreProductExtension.hpp"

#include <algorithm>
#include <set>

namespace zqb {

SubscriptionService::SubscriptionService(std::shared_ptr<StateManagerProtocol> stateManager,
                                         std::shared_ptr<SubscriptionRepository> subscriptionRepository,
                                         QueueManager& incomeQueue, host::Environment& environment)
    : stateManager_(std::move(stateManager)),
      subscriptionRepository_(std::move(subscriptionRepository)),
      incomeQueue_(incomeQueue),
      environment_(environment) {}

SubscriptionService::~SubscriptionService() {
    // Both calls are safe from any thread; nothing else is touched here.
    if (productRequest_) {
        productRequest_->cancel();
    }
    if (pendingRetry_) {
        pendingRetry_->invalidate();
    }
}

// The record
// --------------------------------------------------------------------------------------------------

std::shared_ptr<SubscriptionInfo> SubscriptionService::info() {
    const int64_t projectId = stateManager_->getActiveProject()->idKey;
    for (const auto& stored : subscriptionRepository_->list()) {
        if (stored->projectId == projectId) {
            return stored;
        }
    }
    auto created = std::make_shared<SubscriptionInfo>(projectId);
    subscriptionRepository_->insert(created);
    return created;
}

void SubscriptionService::store(const std::shared_ptr<SubscriptionInfo>& record) {
    subscriptionRepository_->update(record);
}

bool SubscriptionService::needSendProducts() {
    return info()->productIsChanged;
}

void SubscriptionService::resetSendProductsMark() {
    const auto record = info();
    record->productIsChanged = false;
    store(record);
}

bool SubscriptionService::isNeedRestoreHistory() {
    return !info()->alreadyRestored;
}

bool SubscriptionService::isNeedSendRestoredHistory() {
    return !info()->alreadySendRestoreEvent;
}

void SubscriptionService::markAsRestoredHistory() {
    const auto record = info();
    record->alreadyRestored = true;
    store(record);
}

void SubscriptionService::resetHistoryMark() {
    const auto record = info();
    record->alreadyRestored = false;
    record->alreadySendRestoreEvent = false;
    store(record);
}

void SubscriptionService::markAsSendRestoredHistory() {
    const auto record = info();
    record->alreadySendRestoreEvent = true;
    store(record);
}

void SubscriptionService::storeRestoredTransactions(std::vector<RestoredTransaction> transactions) {
    const auto record = info();
    record->restoredTransaction = std::move(transactions);
    store(record);
}

void SubscriptionService::processTransactions(const std::vector<host::PaymentTransaction>& transactions) {
    std::vector<RestoredTransaction> groups;  // products in order of first appearance
    for (const auto& transaction : transactions) {
        if (!transaction.originalTransaction || !transaction.originalTransaction->transactionIdentifier) {
            continue;
        }
        const std::string& id = *transaction.originalTransaction->transactionIdentifier;
        auto group = std::find_if(groups.begin(), groups.end(), [&](const RestoredTransaction& known) {
            return known.productID == transaction.productIdentifier;
        });
        if (group == groups.end()) {
            groups.push_back(RestoredTransaction{transaction.productIdentifier, {id}});
        } else if (std::find(group->transactionIds.begin(), group->transactionIds.end(), id) ==
                   group->transactionIds.end()) {
            group->transactionIds.push_back(id);
        }
    }
    storeRestoredTransactions(std::move(groups));
}

void SubscriptionService::processTransactions(
    const std::map<std::string, std::vector<std::string>>& history) {
    storeRestoredTransactions(RestoredTransaction::fromHistory(history));
}

std::optional<SubscriptionServiceProtocol::RestoredHistoryData> SubscriptionService::getDataForSBSREvent() {
    const auto record = info();
    if (record->restoredTransaction.empty()) {
        return std::nullopt;
    }
    RestoredHistoryData data{record->restoredTransaction, std::nullopt};
    if (!record->products.empty()) {
        data.currencyCode = record->products.front().currencyCode;
    }
    return data;
}

bool SubscriptionService::checkIfContains(const SubscriptionProduct& product) {
    const auto record = info();
    if (std::find(record->products.begin(), record->products.end(), product) != record->products.end()) {
        return true;
    }
    record->products.push_back(product);
    return false;
}

std::optional<SubscriptionProduct> SubscriptionService::findLocalProduct(const std::string& productId) {
    const auto record = info();
    const auto found =
        std::find_if(record->products.begin(), record->products.end(),
                     [&](const SubscriptionProduct& product) { return product.productId == productId; });
    if (found == record->products.end()) {
        return std::nullopt;
    }
    return *found;
}

bool SubscriptionService::isHistoryNeedReset(const Config& config) {
    const auto stored = stateManager_->getActiveConfiguration().sbsConfigVersion;
    const auto given = config.sbsConfigVersion;
    return stored && given && *stored != 0 && *given != 0 && *stored != *given;
}

std::optional<std::vector<std::string>> SubscriptionService::getProductList() {
    return stateManager_->getActiveConfiguration().sbsBundles;
}

void SubscriptionService::clearSubscriptionHistory() {
    storeRestoredTransactions({});
}

// Products requests
// -------------------------------------------------------------------------------------------

void SubscriptionService::requestUserProducts(const std::vector<std::string>& productsIDs,
                                              ProductsCallback callback) {
    if (productsIDs.empty()) {
        Logger::writeLog(ZQBLogLevel::debug, "Product list is empty");
        return;
    }
    productList_ = productsIDs;
    // A fresh request supersedes the one in flight and any retry waiting to be made.
    cancelRetry();
    dropRequest();
    startRequest();
    requestProductsCallback_ = std::move(callback);
}

void SubscriptionService::startRequest() {
    storeKit_ = environment_.storeKit();
    const std::set<std::string> identifiers(productList_->begin(), productList_->end());
    productRequest_ = storeKit_->makeProductsRequest(identifiers);
    productRequest_->setDelegate(weak_from_this());
    productRequest_->start();
}

void SubscriptionService::dropRequest() {
    if (productRequest_) {
        productRequest_->cancel();
        productRequest_.reset();
    }
}

void SubscriptionService::cancelRetry() {
    if (pendingRetry_) {
        pendingRetry_->invalidate();
        pendingRetry_.reset();
    }
    ++retryGeneration_;
}

void SubscriptionService::productsRequestDidReceive(const std::shared_ptr<host::ProductsRequest>& request,
                                                    const host::ProductsResponse& response) {
    postWeakly(incomeQueue_, weak_from_this(), &SubscriptionService::handleResponse, request, response);
}

void SubscriptionService::requestDidFinish(const std::shared_ptr<host::ProductsRequest>& request) {
    Logger::writeLog(ZQBLogLevel::debug, "SKProductsRequest did finish");
    postWeakly(incomeQueue_, weak_from_this(), &SubscriptionService::handleFinish, request);
}

void SubscriptionService::requestDidFail(const std::shared_ptr<host::ProductsRequest>& request,
                                         const host::StoreError& error) {
    postWeakly(incomeQueue_, weak_from_this(), &SubscriptionService::handleFailure, request, error);
}

void SubscriptionService::handleResponse(const std::shared_ptr<host::ProductsRequest>& request,
                                         const host::ProductsResponse& response) {
    if (!request || request != productRequest_) {
        return;  // the answer of a request that was superseded or already answered
    }
    if (!productList_ || productList_->empty()) {
        Logger::writeLog(ZQBLogLevel::debug, "Product list is empty");
        return;
    }
    const std::string systemVersion = storeKit_->systemVersion();
    const std::set<std::string> asked(productList_->begin(), productList_->end());
    std::vector<SubscriptionProduct> products;
    std::set<std::string> found;
    for (const auto& product : response.products) {
        if (asked.contains(product.productIdentifier)) {
            products.push_back(subscriptionProduct(product, systemVersion));
            found.insert(product.productIdentifier);
        }
    }
    if (!requestProductsCallback_) {
        Logger::writeLog(ZQBLogLevel::debug, "Request products \u0441allback is lose");
        return;
    }

    const auto record = info();
    if (record->products == products) {
        record->productIsChanged = false;
    } else {
        record->productIsChanged = true;
        record->products = products;
    }
    store(record);

    // Kept beyond the call: the callback may ask for products again, which replaces the held request.
    const auto callback = requestProductsCallback_;
    callback(products);
    if (productRequest_ == request) {
        dropRequest();
    }

    std::string missing;
    for (const auto& identifier : asked) {
        if (!found.contains(identifier)) {
            missing += (missing.empty() ? "" : ",\n\t\t") + identifier;
        }
    }
    if (!missing.empty()) {
        Logger::writeLog(ZQBLogLevel::debug, "Not found any products for list: \n\t\t" + missing);
    }
}

void SubscriptionService::handleFinish(const std::shared_ptr<host::ProductsRequest>& request) {
    if (request && request == productRequest_) {
        dropRequest();
    }
}

void SubscriptionService::handleFailure(const std::shared_ptr<host::ProductsRequest>& request,
                                        const host::StoreError& error) {
    if (!request || request != productRequest_) {
        return;  // a superseded request's failure starts no retry chain
    }
    dropRequest();
    Logger::writeLog(ZQBLogLevel::debug, "Request products failed with error: " + error.localizedDescription);
    const int64_t delaySeconds = requestAttempt_ * (kRetryUnitMs / 1000);
    Logger::writeLog(ZQBLogLevel::debug,
                     "Retry request products after " + std::to_string(delaySeconds) + " seconds");
    cancelRetry();
    const uint64_t generation = retryGeneration_;
    pendingRetry_ = environment_.delayedScheduler()->runAfter(
        delaySeconds * 1000, [weak = weak_from_this(), &queue = incomeQueue_, generation] {
            postWeakly(queue, weak, &SubscriptionService::retry, generation);
        });
    requestAttempt_ = std::min(requestAttempt_ + 1, kMaxRequestAttempt);
}

void SubscriptionService::retry(uint64_t generation) {
    if (generation != retryGeneration_ || !pendingRetry_) {
        return;  // cancelled meanwhile
    }
    pendingRetry_.reset();
    if (productList_ && !productList_->empty()) {
        startRequest();
    }
}

}  // namespace zqb
