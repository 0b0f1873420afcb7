#pragma once

#include "backend/Config.hpp"
#include "host/StoreKit.hpp"
#include "model/RestoredTransaction.hpp"
#include "model/SubscriptionProduct.hpp"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// The project's subscription products from the store, the restored purchase history the host hands over,
// and the marks that say what has been reported. Income queue only.
class SubscriptionServiceProtocol {
public:
    // Receives the products of each store answer, on the income queue.
    using ProductsCallback = std::function<void(std::optional<std::vector<SubscriptionProduct>>)>;

    // What the restored-history event carries.
    struct RestoredHistoryData {
        std::vector<RestoredTransaction> transactions;
        std::optional<std::string> currencyCode;  // of the first stored product
    };

    virtual ~SubscriptionServiceProtocol() = default;

    // The last products answer differed from the stored products: the products event is due.
    virtual bool needSendProducts() = 0;
    // Asks the store for these products; `callback` gets each answer. An empty list does nothing.
    virtual void requestUserProducts(const std::vector<std::string>& productsIDs,
                                     ProductsCallback callback) = 0;
    virtual void resetSendProductsMark() = 0;
    virtual bool isNeedRestoreHistory() = 0;
    virtual bool isNeedSendRestoredHistory() = 0;
    virtual void markAsRestoredHistory() = 0;
    virtual void resetHistoryMark() = 0;
    virtual void markAsSendRestoredHistory() = 0;
    // The original transaction ids of restored purchases, grouped by product, each id once.
    virtual void processTransactions(const std::vector<host::PaymentTransaction>& transactions) = 0;
    // Product id -> transaction ids, kept as given.
    virtual void processTransactions(const std::map<std::string, std::vector<std::string>>& history) = 0;
    // Nothing while no restored transaction is kept.
    virtual std::optional<RestoredHistoryData> getDataForSBSREvent() = 0;
    // True when a stored product equals it; otherwise it joins the stored products (in memory until the
    // record's next write) and the answer is false.
    virtual bool checkIfContains(const SubscriptionProduct& product) = 0;
    virtual std::optional<SubscriptionProduct> findLocalProduct(const std::string& productId) = 0;
    // The subscription settings version changed between two non-zero values.
    virtual bool isHistoryNeedReset(const Config& config) = 0;
    // The subscription products the project's configuration lists.
    virtual std::optional<std::vector<std::string>> getProductList() = 0;
    virtual void clearSubscriptionHistory() = 0;
};

}  // namespace zqb
