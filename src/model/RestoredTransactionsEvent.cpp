#include "model/RestoredTransactionsEvent.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

RestoredTransactionsEvent::RestoredTransactionsEvent(int64_t timestamp, std::string currencyCode,
                                                     std::vector<RestoredTransaction> transactions)
    : timestamp(timestamp), currencyCode(std::move(currencyCode)), transactions(std::move(transactions)) {}

void RestoredTransactionsEvent::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("currencyCode", currencyCode);
    out.key("transactions");
    out.beginArray();
    for (const auto& transaction : transactions) {
        out.tree(transaction);
    }
    out.endArray();
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
