#pragma once

#include "backend/Config.hpp"
#include "foundation/QueueManager.hpp"
#include "host/Environment.hpp"
#include "host/RunLoop.hpp"
#include "host/StoreKit.hpp"
#include "model/SubscriptionInfo.hpp"
#include "repositories/SubscriptionRepository.hpp"
#include "services/StateManagerProtocol.hpp"
#include "services/SubscriptionServiceProtocol.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// Keeps one `SubscriptionInfo` per project. Products come from the store of `host::Environment`: the store
// tells its delegate on a thread of its own, and the service moves every answer onto the income queue, where
// it acts only on the answer of the request it holds (a superseded request's late answer, completion or
// failure changes nothing). A failed request is asked again after 60, 120, 180, then every 240 seconds, with
// at most one retry pending. Create with `std::make_shared`.
class SubscriptionService final : public SubscriptionServiceProtocol,
                                  public host::ProductsRequestDelegate,
                                  public std::enable_shared_from_this<SubscriptionService> {
public:
    static constexpr int64_t kMaxRequestAttempt = 4;
    static constexpr int64_t kRetryUnitMs = 60'000;

    SubscriptionService(std::shared_ptr<StateManagerProtocol> stateManager,
                        std::shared_ptr<SubscriptionRepository> subscriptionRepository,
                        QueueManager& incomeQueue, host::Environment& environment);
    ~SubscriptionService() override;

    bool needSendProducts() override;
    void requestUserProducts(const std::vector<std::string>& productsIDs, ProductsCallback callback) override;
    void resetSendProductsMark() override;
    bool isNeedRestoreHistory() override;
    bool isNeedSendRestoredHistory() override;
    void markAsRestoredHistory() override;
    void resetHistoryMark() override;
    void markAsSendRestoredHistory() override;
    void processTransactions(const std::vector<host::PaymentTransaction>& transactions) override;
    void processTransactions(const std::map<std::string, std::vector<std::string>>& history) override;
    std::optional<RestoredHistoryData> getDataForSBSREvent() override;
    bool checkIfContains(const SubscriptionProduct& product) override;
    std::optional<SubscriptionProduct> findLocalProduct(const std::string& productId) override;
    bool isHistoryNeedReset(const Config& config) override;
    std::optional<std::vector<std::string>> getProductList() override;
    void clearSubscriptionHistory() override;

    // Store delegate: called on the store's thread, each only posts to the income queue.
    void productsRequestDidReceive(const std::shared_ptr<host::ProductsRequest>& request,
                                   const host::ProductsResponse& response) override;
    void requestDidFinish(const std::shared_ptr<host::ProductsRequest>& request) override;
    void requestDidFail(const std::shared_ptr<host::ProductsRequest>& request,
                        const host::StoreError& error) override;

private:
    // The project's record, inserted when missing.
    std::shared_ptr<SubscriptionInfo> info();
    void store(const std::shared_ptr<SubscriptionInfo>& info);
    void storeRestoredTransactions(std::vector<RestoredTransaction> transactions);

    void startRequest();
    void dropRequest();
    void cancelRetry();
    void handleResponse(const std::shared_ptr<host::ProductsRequest>& request,
                        const host::ProductsResponse& response);
    void handleFinish(const std::shared_ptr<host::ProductsRequest>& request);
    void handleFailure(const std::shared_ptr<host::ProductsRequest>& request, const host::StoreError& error);
    void retry(uint64_t generation);

    std::shared_ptr<StateManagerProtocol> stateManager_;
    std::shared_ptr<SubscriptionRepository> subscriptionRepository_;
    QueueManager& incomeQueue_;
    host::Environment& environment_;

    // Request state: read and written on the income queue only.
    std::shared_ptr<host::StoreKitProtocol> storeKit_;  // the store the held request went to
    std::shared_ptr<host::ProductsRequest> productRequest_;
    std::optional<std::vector<std::string>> productList_;
    ProductsCallback requestProductsCallback_;
    int64_t requestAttempt_ = 1;
    std::shared_ptr<host::TimerHandle> pendingRetry_;
    uint64_t retryGeneration_ = 0;
};

}  // namespace zqb
