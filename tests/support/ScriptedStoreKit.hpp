#pragma once

#include "host/StoreKit.hpp"

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace zqb::test {

// A store driven by the test: each products request is recorded, and the test decides when and how each one
// answers. The delegate is called on the thread that calls `answer`, `finish` or `fail` (the test's, standing
// for the store's own thread), so stale and out-of-order answers can be scripted.
class ScriptedStoreKit final : public host::StoreKitProtocol {
public:
    class Request final : public host::ProductsRequest, public std::enable_shared_from_this<Request> {
    public:
        explicit Request(std::set<std::string> productIdentifiers)
            : productIdentifiers_(std::move(productIdentifiers)) {}

        const std::set<std::string>& productIdentifiers() const override { return productIdentifiers_; }
        void setDelegate(std::weak_ptr<host::ProductsRequestDelegate> delegate) override;
        void start() override;
        void cancel() override;

        bool isStarted() const;
        bool isCancelled() const;

        // Calls the delegate as the store would; also after `cancel`, to script a late answer.
        void answer(const host::ProductsResponse& response);
        void finish();
        void fail(const std::string& description);

    private:
        std::shared_ptr<host::ProductsRequestDelegate> delegate() const;

        const std::set<std::string> productIdentifiers_;
        mutable std::mutex mutex_;
        std::weak_ptr<host::ProductsRequestDelegate> delegate_;
        bool started_ = false;
        bool cancelled_ = false;
    };

    std::shared_ptr<host::ProductsRequest> makeProductsRequest(
        std::set<std::string> productIdentifiers) override;
    std::string systemVersion() const override;

    void setSystemVersion(std::string version);
    // Every request made so far, oldest first.
    std::vector<std::shared_ptr<Request>> requests() const;
    std::size_t requestCount() const;
    // The newest request; null when none was made.
    std::shared_ptr<Request> last() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Request>> requests_;
    std::string systemVersion_ = "12.2";
};

// A product of the scripted store: price as decimal text, locale identifier, optional offers.
host::StoreProduct storeProduct(const std::string& identifier, const std::string& price,
                                const std::string& localeIdentifier = "en_US");
// The same product as a host hands it over with a payment, its price still a text.
host::StoreProductTexts offeredProduct(const std::string& identifier, const std::string& price,
                                       const std::string& localeIdentifier = "en_US");

}  // namespace zqb::test
