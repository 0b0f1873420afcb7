#include "model/SubscriptionProductsEvent.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

SubscriptionProductsEvent::SubscriptionProductsEvent(int64_t timestamp,
                                                     std::vector<SubscriptionProduct> products)
    : timestamp(timestamp), products(std::move(products)) {}

void SubscriptionProductsEvent::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.key("products");
    out.beginArray();
    for (const auto& product : products) {
        out.tree(product);
    }
    out.endArray();
}

std::string SubscriptionProductsEvent::description() const {
    RecordDescription text;
    text.text("code", code).integer("timestamp", timestamp);
    if (products.empty()) {
        return text.str();
    }
    std::string block = "\t products: \n";
    for (std::size_t i = 0; i < products.size(); ++i) {
        const auto& product = products[i];
        block += "\t\t product " + std::to_string(i + 1) + " \n";
        block += "\t\t\t productId: " + product.productId + "\n";
        block += "\t\t\t price: " + product.price.toString() + "\n";
        block += "\t\t\t regionCode: " + product.regionCode + "\n";
        block += "\t\t\t currencyCode: " + product.currencyCode + "\n";
        if (product.introductoryPrice) {
            block += "\t\t\t introductoryPrice: " + product.introductoryPrice->toString() + "\n";
        }
        if (product.discounts) {
            block += "\t\t\t discounts: \n";
            for (const auto& [identifier, price] : *product.discounts) {
                block += "\t\t\t\t " + identifier + ": " + price.toString() + "\n";
            }
            block += "\n";
        }
    }
    return text.raw(block).str();
}

}  // namespace zqb
