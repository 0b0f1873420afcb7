#include "services/StoreProductExtension.hpp"

#include "host/Locale.hpp"

#include <array>
#include <charconv>

namespace zqb {

std::optional<std::string> regionCode(const host::PriceLocale& locale) {
    if (locale.regionCode) {
        return locale.regionCode;
    }
    return host::Locale(locale.identifier).regionCode();
}

std::optional<std::string> currencyCode(const host::PriceLocale& locale) {
    if (locale.currencyCode) {
        return locale.currencyCode;
    }
    return host::Locale(locale.identifier).currencyCode();
}

std::optional<host::StoreProduct> readPrices(const host::StoreProductTexts& product) {
    const auto price = Decimal::parse(product.price);
    if (!price) {
        return std::nullopt;
    }
    host::StoreProduct result{product.productIdentifier, *price, product.priceLocale};
    if (product.introductoryPrice) {
        if (const auto introductory = Decimal::parse(*product.introductoryPrice)) {
            result.introductoryPrice = host::ProductDiscount{std::nullopt, *introductory};
        }
    }
    for (const auto& discount : product.discounts) {
        if (const auto discountPrice = Decimal::parse(discount.price)) {
            result.discounts.push_back(host::ProductDiscount{discount.identifier, *discountPrice});
        }
    }
    return result;
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
    result.regionCode = regionCode(product.priceLocale).value_or("");
    result.currencyCode = currencyCode(product.priceLocale).value_or("");
    if (isOffersAvailable(systemVersion) && product.introductoryPrice) {
        result.introductoryPrice = product.introductoryPrice->price;
    }
    result.discounts = getDiscouts(product, systemVersion);
    return result;
}

}  // namespace zqb
