#include "host/Locale.hpp"

#include "foundation/TextUtils.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>
#include <vector>

namespace zqb::host {

namespace {

// Region -> currency of everyday use, sorted by region for binary search.
constexpr std::array<std::pair<std::string_view, std::string_view>, 249> kRegionCurrencies{{
    {"AD", "EUR"}, {"AE", "AED"}, {"AF", "AFN"}, {"AG", "XCD"}, {"AI", "XCD"}, {"AL", "ALL"}, {"AM", "AMD"},
    {"AO", "AOA"}, {"AR", "ARS"}, {"AS", "USD"}, {"AT", "EUR"}, {"AU", "AUD"}, {"AW", "AWG"}, {"AX", "EUR"},
    {"AZ", "AZN"}, {"BA", "BAM"}, {"BB", "BBD"}, {"BD", "BDT"}, {"BE", "EUR"}, {"BF", "XOF"}, {"BG", "BGN"},
    {"BH", "BHD"}, {"BI", "BIF"}, {"BJ", "XOF"}, {"BL", "EUR"}, {"BM", "BMD"}, {"BN", "BND"}, {"BO", "BOB"},
    {"BQ", "USD"}, {"BR", "BRL"}, {"BS", "BSD"}, {"BT", "BTN"}, {"BV", "NOK"}, {"BW", "BWP"}, {"BY", "BYN"},
    {"BZ", "BZD"}, {"CA", "CAD"}, {"CC", "AUD"}, {"CD", "CDF"}, {"CF", "XAF"}, {"CG", "XAF"}, {"CH", "CHF"},
    {"CI", "XOF"}, {"CK", "NZD"}, {"CL", "CLP"}, {"CM", "XAF"}, {"CN", "CNY"}, {"CO", "COP"}, {"CR", "CRC"},
    {"CU", "CUP"}, {"CV", "CVE"}, {"CW", "ANG"}, {"CX", "AUD"}, {"CY", "EUR"}, {"CZ", "CZK"}, {"DE", "EUR"},
    {"DJ", "DJF"}, {"DK", "DKK"}, {"DM", "XCD"}, {"DO", "DOP"}, {"DZ", "DZD"}, {"EC", "USD"}, {"EE", "EUR"},
    {"EG", "EGP"}, {"EH", "MAD"}, {"ER", "ERN"}, {"ES", "EUR"}, {"ET", "ETB"}, {"FI", "EUR"}, {"FJ", "FJD"},
    {"FK", "FKP"}, {"FM", "USD"}, {"FO", "DKK"}, {"FR", "EUR"}, {"GA", "XAF"}, {"GB", "GBP"}, {"GD", "XCD"},
    {"GE", "GEL"}, {"GF", "EUR"}, {"GG", "GBP"}, {"GH", "GHS"}, {"GI", "GIP"}, {"GL", "DKK"}, {"GM", "GMD"},
    {"GN", "GNF"}, {"GP", "EUR"}, {"GQ", "XAF"}, {"GR", "EUR"}, {"GS", "GBP"}, {"GT", "GTQ"}, {"GU", "USD"},
    {"GW", "XOF"}, {"GY", "GYD"}, {"HK", "HKD"}, {"HM", "AUD"}, {"HN", "HNL"}, {"HR", "EUR"}, {"HT", "HTG"},
    {"HU", "HUF"}, {"ID", "IDR"}, {"IE", "EUR"}, {"IL", "ILS"}, {"IM", "GBP"}, {"IN", "INR"}, {"IO", "USD"},
    {"IQ", "IQD"}, {"IR", "IRR"}, {"IS", "ISK"}, {"IT", "EUR"}, {"JE", "GBP"}, {"JM", "JMD"}, {"JO", "JOD"},
    {"JP", "JPY"}, {"KE", "KES"}, {"KG", "KGS"}, {"KH", "KHR"}, {"KI", "AUD"}, {"KM", "KMF"}, {"KN", "XCD"},
    {"KP", "KPW"}, {"KR", "KRW"}, {"KW", "KWD"}, {"KY", "KYD"}, {"KZ", "KZT"}, {"LA", "LAK"}, {"LB", "LBP"},
    {"LC", "XCD"}, {"LI", "CHF"}, {"LK", "LKR"}, {"LR", "LRD"}, {"LS", "LSL"}, {"LT", "EUR"}, {"LU", "EUR"},
    {"LV", "EUR"}, {"LY", "LYD"}, {"MA", "MAD"}, {"MC", "EUR"}, {"MD", "MDL"}, {"ME", "EUR"}, {"MF", "EUR"},
    {"MG", "MGA"}, {"MH", "USD"}, {"MK", "MKD"}, {"ML", "XOF"}, {"MM", "MMK"}, {"MN", "MNT"}, {"MO", "MOP"},
    {"MP", "USD"}, {"MQ", "EUR"}, {"MR", "MRU"}, {"MS", "XCD"}, {"MT", "EUR"}, {"MU", "MUR"}, {"MV", "MVR"},
    {"MW", "MWK"}, {"MX", "MXN"}, {"MY", "MYR"}, {"MZ", "MZN"}, {"NA", "NAD"}, {"NC", "XPF"}, {"NE", "XOF"},
    {"NF", "AUD"}, {"NG", "NGN"}, {"NI", "NIO"}, {"NL", "EUR"}, {"NO", "NOK"}, {"NP", "NPR"}, {"NR", "AUD"},
    {"NU", "NZD"}, {"NZ", "NZD"}, {"OM", "OMR"}, {"PA", "PAB"}, {"PE", "PEN"}, {"PF", "XPF"}, {"PG", "PGK"},
    {"PH", "PHP"}, {"PK", "PKR"}, {"PL", "PLN"}, {"PM", "EUR"}, {"PN", "NZD"}, {"PR", "USD"}, {"PS", "ILS"},
    {"PT", "EUR"}, {"PW", "USD"}, {"PY", "PYG"}, {"QA", "QAR"}, {"RE", "EUR"}, {"RO", "RON"}, {"RS", "RSD"},
    {"RU", "RUB"}, {"RW", "RWF"}, {"SA", "SAR"}, {"SB", "SBD"}, {"SC", "SCR"}, {"SD", "SDG"}, {"SE", "SEK"},
    {"SG", "SGD"}, {"SH", "SHP"}, {"SI", "EUR"}, {"SJ", "NOK"}, {"SK", "EUR"}, {"SL", "SLE"}, {"SM", "EUR"},
    {"SN", "XOF"}, {"SO", "SOS"}, {"SR", "SRD"}, {"SS", "SSP"}, {"ST", "STN"}, {"SV", "USD"}, {"SX", "ANG"},
    {"SY", "SYP"}, {"SZ", "SZL"}, {"TC", "USD"}, {"TD", "XAF"}, {"TF", "EUR"}, {"TG", "XOF"}, {"TH", "THB"},
    {"TJ", "TJS"}, {"TK", "NZD"}, {"TL", "USD"}, {"TM", "TMT"}, {"TN", "TND"}, {"TO", "TOP"}, {"TR", "TRY"},
    {"TT", "TTD"}, {"TV", "AUD"}, {"TW", "TWD"}, {"TZ", "TZS"}, {"UA", "UAH"}, {"UG", "UGX"}, {"UM", "USD"},
    {"US", "USD"}, {"UY", "UYU"}, {"UZ", "UZS"}, {"VA", "EUR"}, {"VC", "XCD"}, {"VE", "VES"}, {"VG", "USD"},
    {"VI", "USD"}, {"VN", "VND"}, {"VU", "VUV"}, {"WF", "XPF"}, {"WS", "WST"}, {"XK", "EUR"}, {"YE", "YER"},
    {"YT", "EUR"}, {"ZA", "ZAR"}, {"ZM", "ZMW"}, {"ZW", "ZWL"},
}};

std::string upper(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return result;
}

std::vector<std::string_view> split(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find_first_of(separators, start), text.size());
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

}  // namespace

Locale::Locale(std::string identifier) : identifier_(std::move(identifier)) {
    std::string_view name = identifier_;
    std::string_view keywords;
    if (const auto at = name.find('@'); at != std::string_view::npos) {
        keywords = name.substr(at + 1);
        name = name.substr(0, at);
    }
    // A POSIX codeset ("fr_FR.UTF-8") names no part of the locale.
    name = name.substr(0, name.find('.'));

    // language [_script] [_region] [_variant]...
    const auto parts = split(name, "_-");
    for (std::size_t index = 1; index < parts.size(); ++index) {
        const std::string_view part = parts[index];
        if (part.size() == 4 && zqb::text::allBytes(part, std::isalpha)) {
            continue;  // a script such as "Hans"
        }
        if ((part.size() == 2 && zqb::text::allBytes(part, std::isalpha)) ||
            (part.size() == 3 && zqb::text::allBytes(part, std::isdigit))) {
            region_ = upper(part);
        }
        break;
    }

    for (const std::string_view keyword : split(keywords, ";")) {
        const auto equals = keyword.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        const std::string key = upper(keyword.substr(0, equals));
        const std::string_view value = keyword.substr(equals + 1);
        if (key == "CURRENCY" && value.size() == 3 && zqb::text::allBytes(value, std::isalpha)) {
            currencyKeyword_ = upper(value);
        }
    }
}

std::optional<std::string> Locale::regionCode() const {
    return region_;
}

std::optional<std::string> Locale::currencyCode() const {
    if (currencyKeyword_) {
        return currencyKeyword_;
    }
    if (region_) {
        return currencyOfRegion(*region_);
    }
    return std::nullopt;
}

std::optional<std::string> Locale::currencyOfRegion(std::string_view region) {
    const std::string key = upper(region);
    const auto found =
        std::lower_bound(kRegionCurrencies.begin(), kRegionCurrencies.end(), key,
                         [](const auto& entry, const std::string& wanted) { return entry.first < wanted; });
    if (found == kRegionCurrencies.end() || found->first != key) {
        return std::nullopt;
    }
    return std::string(found->second);
}

}  // namespace zqb::host
