#include "model/SubscriptionProduct.hpp"

#include <functional>
#include <stdexcept>

namespace zqb {
namespace {

bool pricesAgree(const Decimal& a, const Decimal& b) {
    // Never destroyed: the income queue may still compare prices while the process exits.
    static const Decimal& tolerance = *new Decimal(*Decimal::parse("0.0001"));
    return (a - b).abs() < tolerance;
}

bool discountsAgree(const std::optional<std::map<std::string, Decimal>>& a,
                    const std::optional<std::map<std::string, Decimal>>& b) {
    // Only two absent maps, or two present maps of one size, are compared at all.
    if (!a || !b || a->size() != b->size()) {
        return true;
    }
    for (const auto& [identifier, price] : *a) {
        const auto other = b->find(identifier);
        if (other == b->end() || !pricesAgree(price, other->second)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool operator==(const SubscriptionProduct& a, const SubscriptionProduct& b) {
    return a.productId == b.productId && pricesAgree(a.price, b.price) && a.currencyCode == b.currencyCode &&
           pricesAgree(a.introductoryPrice.value_or(Decimal()), b.introductoryPrice.value_or(Decimal())) &&
           discountsAgree(a.discounts, b.discounts);
}

std::size_t SubscriptionProduct::hash() const {
    const std::size_t seed = std::hash<std::string>{}(productId);
    return seed ^
           (std::hash<std::string>{}(currencyCode) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

void to_json(nlohmann::ordered_json& json, const SubscriptionProduct& product) {
    json = nlohmann::ordered_json::object();
    json["productId"] = product.productId;
    json["price"] = product.price;
    json["regionCode"] = product.regionCode;
    json["currencyCode"] = product.currencyCode;
    if (product.introductoryPrice) {
        json["introductoryPrice"] = *product.introductoryPrice;
    }
    if (product.discounts) {
        auto& discounts = json["discounts"] = nlohmann::ordered_json::object();
        for (const auto& [identifier, price] : *product.discounts) {
            discounts[identifier] = price;
        }
    }
}

void from_json(const nlohmann::ordered_json& json, SubscriptionProduct& product) {
    SubscriptionProduct read;
    read.productId = json.at("productId").get<std::string>();
    read.price = json.at("price").get<Decimal>();
    read.regionCode = json.at("regionCode").get<std::string>();
    read.currencyCode = json.at("currencyCode").get<std::string>();
    if (const auto found = json.find("introductoryPrice"); found != json.end() && !found->is_null()) {
        read.introductoryPrice = found->get<Decimal>();
    }
    if (const auto found = json.find("discounts"); found != json.end() && !found->is_null()) {
        if (!found->is_object()) {
            throw std::invalid_argument("Expected to decode Dictionary<String, Decimal> but found " +
                                        std::string(found->type_name()) + " instead.");
        }
        std::map<std::string, Decimal> discounts;
        for (const auto& [identifier, price] : found->items()) {
            discounts[identifier] = price.get<Decimal>();
        }
        read.discounts = std::move(discounts);
    }
    product = std::move(read);
}

}  // namespace zqb
