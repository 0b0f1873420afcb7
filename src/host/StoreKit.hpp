#pragma once

#include "foundation/Decimal.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

namespace zqb {
class QueueManager;
}

namespace zqb::host {

// The locale a product's price is given in. The store may state region and currency directly; when it does
// not, they follow from the identifier (see `Locale`).
struct PriceLocale {
    std::string identifier;  // "fr_FR"
    std::optional<std::string> regionCode{};
    std::optional<std::string> currencyCode{};
};

// An introductory offer or a promotional discount of a product.
struct ProductDiscount {
    std::optional<std::string> identifier{};  // promotional offers have one, introductory offers none
    Decimal price;
};

// A product the store knows.
struct StoreProduct {
    std::string productIdentifier;
    Decimal price;
    PriceLocale priceLocale;
    std::optional<ProductDiscount> introductoryPrice{};
    std::vector<ProductDiscount> discounts{};
};

// A product as a host hands it over with a payment: the prices are still the host's decimal texts ("4.99"),
// read where the payment is processed.
struct StoreProductTexts {
    struct Discount {
        std::optional<std::string> identifier{};
        std::string price;
    };
    std::string productIdentifier;
    std::string price;
    PriceLocale priceLocale;
    std::optional<std::string> introductoryPrice{};
    std::vector<Discount> discounts{};
};

// The answer to a products request: the products found and the identifiers the store does not know.
struct ProductsResponse {
    std::vector<StoreProduct> products{};
    std::vector<std::string> invalidProductIdentifiers{};
};

struct StoreError {
    std::string localizedDescription;
};

// A purchase or restore of a product. A restored transaction points at the purchase it restores.
struct PaymentTransaction {
    std::optional<std::string> transactionIdentifier{};
    std::string productIdentifier;  // of the transaction's payment
    std::shared_ptr<const PaymentTransaction> originalTransaction{};
};

class ProductsRequest;

// Told how a products request ended, on a thread of the store (never the caller's). A successful request
// calls `didReceive` and then `didFinish`; a failed one calls `didFail`. No call starts once `cancel()` has
// returned (one already running finishes).
class ProductsRequestDelegate {
public:
    virtual ~ProductsRequestDelegate() = default;
    virtual void productsRequestDidReceive(const std::shared_ptr<ProductsRequest>& request,
                                           const ProductsResponse& response) = 0;
    virtual void requestDidFinish(const std::shared_ptr<ProductsRequest>& request) = 0;
    virtual void requestDidFail(const std::shared_ptr<ProductsRequest>& request, const StoreError& error) = 0;
};

// One question to the store for a set of product identifiers. The delegate is held weakly.
class ProductsRequest {
public:
    virtual ~ProductsRequest() = default;
    virtual const std::set<std::string>& productIdentifiers() const = 0;
    virtual void setDelegate(std::weak_ptr<ProductsRequestDelegate> delegate) = 0;
    // Asks the store; the answer comes later. A second start does nothing.
    virtual void start() = 0;
    virtual void cancel() = 0;
};

// The products lookup a host installs: answers each question exactly once, from any thread (also before
// returning), with the response or a failure.
class StoreProductsProvider {
public:
    using Result = std::variant<ProductsResponse, StoreError>;
    virtual ~StoreProductsProvider() = default;
    virtual void requestProducts(const std::set<std::string>& productIdentifiers,
                                 std::function<void(Result)> completion) = 0;
};

// The store as the subscription service uses it.
class StoreKitProtocol {
public:
    virtual ~StoreKitProtocol() = default;
    virtual std::shared_ptr<ProductsRequest> makeProductsRequest(
        std::set<std::string> productIdentifiers) = 0;
    // The system version the store runs on ("12.2"): introductory prices and discounts exist from 12.2 on.
    virtual std::string systemVersion() const = 0;
};

// Linux default: products come from the provider the host installed; without one every request answers
// no products (every identifier unknown). Answers are delivered on the store's own thread.
class StoreKit final : public StoreKitProtocol {
public:
    // A Linux host's store offers introductory prices and discounts whenever its provider gives them.
    static constexpr const char* kDefaultSystemVersion = "12.2";

    StoreKit();
    ~StoreKit() override;

    std::shared_ptr<ProductsRequest> makeProductsRequest(std::set<std::string> productIdentifiers) override;
    std::string systemVersion() const override;

    // Requests started afterwards use this provider; null removes it.
    void setProvider(std::shared_ptr<StoreProductsProvider> provider);
    std::shared_ptr<StoreProductsProvider> provider() const;
    void setSystemVersion(std::string version);

private:
    class Request;

    std::shared_ptr<QueueManager> queue_;  // the store's own thread, shared with its requests
    mutable std::mutex mutex_;
    std::shared_ptr<StoreProductsProvider> provider_;
    std::string systemVersion_ = kDefaultSystemVersion;
};

}  // namespace zqb::host
