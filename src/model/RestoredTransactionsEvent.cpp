#include "model/RestoredTransactionsEvent.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

RestoredTransactionsEvent::RestoredTransactionsEvent(std::string currencyCode,
                                                     std::vector<RestoredTransaction> transactions)
    : timestamp(currentTimestamp()),
      currencyCode(std::move(currencyCode)),
      transactions(std::move(transactions)) {}

nlohmann::ordered_json RestoredTransactionsEvent::toJson() const {
    nlohmann::ordered_json json;
    json["code"] = code;
    json["timestamp"] = timestamp;
    json["currencyCode"] = currencyCode;
    json["transactions"] = nlohmann::ordered_json::array();
    for (const auto& transaction : transactions) {
        json["transactions"].push_back(transaction);
    }
    return json;
}

std::string RestoredTransactionsEvent::description() const {
    RecordDescription text;
    text.text("code", code).integer("timestamp", timestamp).text("currencyCode", currencyCode);
    if (transactions.empty()) {
        return text.str();
    }
    std::string block = "\t transactions: \n";
    for (const auto& transaction : transactions) {
        block += "\t\t product " + transaction.productID + " \n";
        block += "\t\t transactionIds: \n ";
        for (const auto& identifier : transaction.transactionIds) {
            block += "\t\t\t " + identifier + " \n";
        }
    }
    return text.raw(block).str();
}

}  // namespace zqb
