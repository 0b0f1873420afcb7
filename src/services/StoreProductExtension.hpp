#pragma once

#include "foundation/Decimal.hpp"
#include "host/StoreKit.hpp"
#include "model/SubscriptionProduct.hpp"

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace zqb {

// What the analytics reads of a store product.

// The price locale's region: the store's own value, else the one its identifier implies.
std::optional<std::string> regionCode(const host::PriceLocale& locale);
// The price locale's currency: the store's own value, else the one its identifier implies.
std::optional<std::string> currencyCode(const host::PriceLocale& locale);
// The product with its prices read. An introductory price or a discount whose text is not a decimal number
// is left out, as for a product that has none; nothing when the price itself is not a decimal number.
std::optional<host::StoreProduct> readPrices(const host::StoreProductTexts& product);
// True from system version 12.2 on, when stores know introductory prices and discounts. A version text is
// read as numbers separated by dots ("12", "12.1.4"); a part that is not a number counts as 0.
bool isOffersAvailable(std::string_view systemVersion);
// Discount identifier -> price of the discounts that have an identifier (a later one replaces an earlier);
// nothing before 12.2 or when no discount has an identifier.
std::optional<std::map<std::string, Decimal>> getDiscouts(const host::StoreProduct& product,
                                                          std::string_view systemVersion);
// The product as the subscription records keep it: "" for an unknown region or currency; offers only from
// 12.2 on.
SubscriptionProduct subscriptionProduct(const host::StoreProduct& product, std::string_view systemVersion);

}  // namespace zqb
