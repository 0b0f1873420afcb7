#pragma once

#include "foundation/Decimal.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <map>
#include <optional>
#include <string>

namespace zqb {

// One subscription product of the store with its prices.
struct SubscriptionProduct {
    std::string productId;
    Decimal price;
    std::string regionCode;
    std::string currencyCode;
    std::optional<Decimal> introductoryPrice;
    std::optional<std::map<std::string, Decimal>> discounts;  // discount identifier -> price

    // Same product id and currency, prices within 0.0001 (an absent introductory price counts as 0), and the
    // discounts agree when both maps are absent or both have as many entries: same identifiers, prices within
    // 0.0001. The region takes no part. Not transitive: close prices chain.
    friend bool operator==(const SubscriptionProduct& a, const SubscriptionProduct& b);

    // Only what every pair of equal products shares (product id and currency), so that hashing agrees with
    // the tolerant equality.
    std::size_t hash() const;
};

// Keys: productId, price, regionCode, currencyCode, introductoryPrice and discounts (left out when absent).
// Prices are `Decimal` nodes: write the tree with `JsonText`, read texts with `JsonText::parse`.
void to_json(nlohmann::ordered_json& json, const SubscriptionProduct& product);
// The four first keys are required with their types; the two others may be missing or null.
void from_json(const nlohmann::ordered_json& json, SubscriptionProduct& product);

}  // namespace zqb

template <>
struct std::hash<zqb::SubscriptionProduct> {
    std::size_t operator()(const zqb::SubscriptionProduct& product) const noexcept { return product.hash(); }
};
