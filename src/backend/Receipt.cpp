#include "backend/Receipt.hpp"

namespace zqb {

void to_json(nlohmann::ordered_json& json, const ReceiptData& receipt) {
    json = nlohmann::ordered_json::object();
    json["receipt-data"] = receipt.data;
    json["password"] = receipt.password;
}

void to_json(nlohmann::ordered_json& json, const Receipt& receipt) {
    json = nlohmann::ordered_json::object();
    json["platform"] = receipt.platform;
    json["receipt"] = receipt.receipt;
    if (receipt.bundle) {
        json["bundle"] = *receipt.bundle;
    }
}

}  // namespace zqb
