#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace zqb {

// The receipt and its password, as the verification request carries them.
struct ReceiptData {
    std::string data{};      // the receipt in base64 text
    std::string password{};  // always empty
};

// The body of a receipt verification request.
struct Receipt {
    std::string platform = "ios";
    ReceiptData receipt{};
    std::optional<std::string> bundle{};  // the main bundle's identifier
};

// {"receipt-data": data, "password": password}
void to_json(nlohmann::ordered_json& json, const ReceiptData& receipt);
// {"platform", "receipt", then "bundle" only when present}
void to_json(nlohmann::ordered_json& json, const Receipt& receipt);

}  // namespace zqb
