#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zqb::host {

// A locale named by its identifier ("fr_FR", "en-US", "zh_Hans_CN", "de_CH@currency=EUR"), with the region
// and currency that the identifier implies. Used for the price locale of store products.
class Locale {
public:
    explicit Locale(std::string identifier);

    const std::string& identifier() const { return identifier_; }
    // The region component: two letters (upper-cased) or three digits ("419"); nothing when the identifier
    // names none ("fr", "en_Latn").
    std::optional<std::string> regionCode() const;
    // The "currency" keyword when given, else the currency in use in the region; nothing for a region
    // without one of its own ("419", "AQ") or an identifier without a region.
    std::optional<std::string> currencyCode() const;

    // ISO 4217 code of the currency used in an ISO 3166 region ("FR" -> "EUR"); nothing when unknown.
    static std::optional<std::string> currencyOfRegion(std::string_view region);

private:
    std::string identifier_;
    std::optional<std::string> region_;
    std::optional<std::string> currencyKeyword_;
};

}  // namespace zqb::host
