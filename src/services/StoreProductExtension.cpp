#include "services/StoreProductExtension.hpp"

#include "host/Locale.hpp"

#include <array>
#include <charconv>

namespace zqb {

std::optional<std::string> regionCode(const host::StoreProduct& product) {
    if (product.priceLocale.regionCode) {
        return product.priceLocale.regionCode;
    }
    return host::Locale(product.priceLocale.identifier).regionCode();
}

std::optional<std::string> currencyCode(const host::StoreProduct& product) {
    if (product.priceLocale.currencyCode) {
        return product.priceLocale.currencyCode;
    }
    return host::Locale(product.priceLocale.identifier).currencyCode();
}

bool isOffersAvailable(std::string_view systemVersion) {
    std::array<int64_t, 2> parts{0, 0};
    for (std::size_t index = 0; index < parts.size() && !systemVersion.empty(); ++index) {
        const auto dot = systemVersion.find('.');
        const std::string_view part = systemVersion.substr(0, dot);
        int64_t value = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        parts[index] = (error == std::errc() && end == part.data() + part.size()) ? value : 0;
        systemVersion = dot == std::string_view::npos ? std::string_view() : systemVersion.substr(dot + 1);
    }
    return parts[0] > 12 || (parts[0] == 12 && parts[1] >= 2);
}

std::optional<std::map<std::string, Decimal>> getDiscouts(const host::StoreProduct& product,
                                                          std::string_view systemVersion) {
    if (!isOffersAvailable(systemVersion)) {
        return std::nullopt;
    }
    std::map<std::string, Decimal> discounts;
    for (const auto& discount : product.discounts) {
        if (discount.identifier) {
            discounts.insert_or_assign(*discount.identifier, discount.price);
        }
    }
    if (discounts.empty()) {
        return std::nullopt;
    }
    return discounts;
}

SubscriptionProduct subscriptionProduct(const host::StoreProduct& product, std::string_view systemVersion) {
    SubscriptionProduct result;
    result.productId = product.productIdentifier;
    result.price = product.price;
    result.regionCode = regionCode(product).value_or("");
    result.currencyCode = currencyCode(product).value_or("");
    if (isOffersAvailable(systemVersion) && product.introductoryPrice) {
        result.introductoryPrice = product.introductoryPrice->price;
    }
    result.discounts = getDiscouts(product, systemVersion);
    return result;
}

}  // namespace zqb
