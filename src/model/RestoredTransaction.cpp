#include "model/RestoredTransaction.hpp"

namespace zqb {

std::vector<RestoredTransaction> RestoredTransaction::fromHistory(
    const std::map<std::string, std::vector<std::string>>& history) {
    std::vector<RestoredTransaction> out;
    out.reserve(history.size());
    for (const auto& [productId, transactionIds] : history) {
        out.push_back(RestoredTransaction{productId, transactionIds});
    }
    return out;
}

void to_json(nlohmann::ordered_json& json, const RestoredTransaction& transaction) {
    json = nlohmann::ordered_json::object();
    json["productID"] = transaction.productID;
    json["transactionIds"] = transaction.transactionIds;
}

void from_json(const nlohmann::ordered_json& json, RestoredTransaction& transaction) {
    RestoredTransaction read;
    read.productID = json.at("productID").get<std::string>();
    read.transactionIds = json.at("transactionIds").get<std::vector<std::string>>();
    transaction = std::move(read);
}

}  // namespace zqb
