#include "api/StoreObjectsCopy.hpp"

#include "core/Logger.hpp"
#include "core/TextUtils.hpp"
#include "validation/Validator.hpp"

namespace zqb {
namespace {

std::optional<std::string> repaired(const std::optional<std::string>& value) {
    if (!value) {
        return std::nullopt;
    }
    return text::repairUtf8(*value);
}

host::PaymentTransaction shallowCopy(const ZQBStoreTransaction& transaction) {
    return host::PaymentTransaction{repaired(transaction.transactionIdentifier),
                                    text::repairUtf8(transaction.productIdentifier), nullptr};
}

std::optional<Decimal> price(std::string_view method, std::string_view what, const std::string& value,
                             const std::string& productIdentifier) {
    auto parsed = Decimal::parse(value);
    if (!parsed) {
        Logger::writeLog(ZQBLogLevel::error, Validator::messageHead(method) + "\n\t" + std::string(what) +
                                                 " [" + text::repairUtf8(value) + "] of the product [" +
                                                 productIdentifier + "] is not a decimal number");
    }
    return parsed;
}

}  // namespace

host::PaymentTransaction paymentTransactionCopy(const ZQBStoreTransaction& transaction) {
    host::PaymentTransaction copy = shallowCopy(transaction);
    if (transaction.originalTransaction) {
        copy.originalTransaction =
            std::make_shared<const host::PaymentTransaction>(shallowCopy(*transaction.originalTransaction));
    }
    return copy;
}

std::optional<host::StoreProduct> storeProductCopy(const ZQBStoreProduct& product, std::string_view method) {
    const std::string identifier = text::repairUtf8(product.productIdentifier);
    const auto productPrice = price(method, "The price", product.price, identifier);
    if (!productPrice) {
        return std::nullopt;
    }
    host::StoreProduct copy{identifier, *productPrice,
                            host::PriceLocale{text::repairUtf8(product.priceLocaleIdentifier)}};
    if (product.introductoryPrice) {
        if (const auto introductory =
                price(method, "The introductory price", *product.introductoryPrice, identifier)) {
            copy.introductoryPrice = host::ProductDiscount{std::nullopt, *introductory};
        }
    }
    for (const auto& discount : product.discounts) {
        if (const auto discountPrice = price(method, "The discount price", discount.price, identifier)) {
            copy.discounts.push_back(host::ProductDiscount{repaired(discount.identifier), *discountPrice});
        }
    }
    return copy;
}

}  // namespace zqb
