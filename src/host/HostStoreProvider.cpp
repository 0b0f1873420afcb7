#include "host/HostStoreProvider.hpp"

#include "foundation/Logger.hpp"
#include "foundation/ProcessExit.hpp"
#include "foundation/TextUtils.hpp"

#include <atomic>

namespace zqb::host {

namespace {

std::optional<Decimal> price(const std::string& text, const std::string& productIdentifier) {
    auto value = Decimal::parse(text);
    if (!value) {
        Logger::writeLog(ZQBLogLevel::error,
                         "In the requestProducts method an error has occurred: The price [" +
                             text::repairUtf8(text) + "] of the product [" + productIdentifier +
                             "] is not a decimal number");
    }
    return value;
}

}  // namespace

HostStoreProvider::HostStoreProvider(std::shared_ptr<ZQBStoreProvider> provider)
    : provider_(std::move(provider)) {}

void HostStoreProvider::requestProducts(const std::set<std::string>& productIdentifiers,
                                        std::function<void(Result)> completion) {
    // Not once the process exits: the host's provider may reach objects that the exit destroys.
    ProcessExit::Activity activity;
    if (!activity.hold()) {
        return;
    }
    auto answered = std::make_shared<std::atomic<bool>>(false);
    provider_->requestProducts(std::vector<std::string>(productIdentifiers.begin(), productIdentifiers.end()),
                               [answered, completion = std::move(completion)](ZQBStoreProductsAnswer answer) {
                                   if (!answered->exchange(true)) {
                                       completion(convert(answer));
                                   }
                               });
}

StoreProductsProvider::Result HostStoreProvider::convert(const ZQBStoreProductsAnswer& answer) {
    if (answer.error) {
        return StoreError{text::repairUtf8(*answer.error)};
    }
    ProductsResponse response;
    for (const auto& identifier : answer.invalidProductIdentifiers) {
        response.invalidProductIdentifiers.push_back(text::repairUtf8(identifier));
    }
    for (const auto& given : answer.products) {
        const std::string identifier = text::repairUtf8(given.productIdentifier);
        const auto productPrice = price(given.price, identifier);
        if (!productPrice) {
            response.invalidProductIdentifiers.push_back(identifier);
            continue;
        }
        StoreProduct product{identifier, *productPrice,
                             PriceLocale{text::repairUtf8(given.priceLocaleIdentifier)}};
        if (given.introductoryPrice) {
            if (const auto introductory = price(*given.introductoryPrice, identifier)) {
                product.introductoryPrice = ProductDiscount{std::nullopt, *introductory};
            }
        }
        for (const auto& discount : given.discounts) {
            if (const auto discountPrice = price(discount.price, identifier)) {
                std::optional<std::string> discountIdentifier;
                if (discount.identifier) {
                    discountIdentifier = text::repairUtf8(*discount.identifier);
                }
                product.discounts.push_back(ProductDiscount{std::move(discountIdentifier), *discountPrice});
            }
        }
        response.products.push_back(std::move(product));
    }
    return response;
}

}  // namespace zqb::host
