#include "api/StoreObjectsCopy.hpp"

#include "foundation/TextUtils.hpp"

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

}  // namespace

host::PaymentTransaction paymentTransactionCopy(const ZQBStoreTransaction& transaction) {
    host::PaymentTransaction copy = shallowCopy(transaction);
    if (transaction.originalTransaction) {
        copy.originalTransaction =
            std::make_shared<const host::PaymentTransaction>(shallowCopy(*transaction.originalTransaction));
    }
    return copy;
}

host::StoreProductTexts storeProductCopy(const ZQBStoreProduct& product) {
    host::StoreProductTexts copy{text::repairUtf8(product.productIdentifier), text::repairUtf8(product.price),
                                 host::PriceLocale{text::repairUtf8(product.priceLocaleIdentifier)},
                                 repaired(product.introductoryPrice)};
    for (const auto& discount : product.discounts) {
        copy.discounts.push_back({repaired(discount.identifier), text::repairUtf8(discount.price)});
    }
    return copy;
}

}  // namespace zqb
