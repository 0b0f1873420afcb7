#pragma once

#include "database/SQLiteValue.hpp"
#include "model/RestoredTransaction.hpp"
#include "model/SubscriptionProduct.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <vector>

namespace zqb {

// The subscription state of one project: one row of "subscriptions". Shared by the repository's cache and
// the subscription service, which change it in place on the income queue.
class SubscriptionInfo {
public:
    // A new record: not stored yet, empty lists, all marks false.
    explicit SubscriptionInfo(int64_t projectId);

    // Columns: 0 id, 1 projectId (INTEGER, required); 2 products, 3 restoredTransaction (TEXT, required; a
    // text that is not a JSON array of such records reads as an empty list); 4 alreadyRestored,
    // 5 productIsChanged, 6 alreadySendRestoreEvent (flags). Nothing for a row that breaks the requirements.
    static std::shared_ptr<SubscriptionInfo> fromRow(const SQLiteRow& row);

    // The list columns' texts as they are stored: a JSON array of the records, written with `JsonText` so
    // that prices keep their digits.
    static std::vector<SubscriptionProduct> productsFromText(std::string_view text);
    static std::vector<RestoredTransaction> restoredTransactionsFromText(std::string_view text);

    int64_t idKey = -1;
    int64_t projectId;
    std::vector<SubscriptionProduct> products;
    std::vector<RestoredTransaction> restoredTransaction;
    bool alreadyRestored = false;
    bool alreadySendRestoreEvent = false;
    bool productIsChanged = false;
};

// Keys: idKey, projectId, products, restoredTransaction, alreadyRestored, alreadySendRestoreEvent,
// productIsChanged; reading requires all seven.
void to_json(nlohmann::ordered_json& json, const SubscriptionInfo& info);
void from_json(const nlohmann::ordered_json& json, SubscriptionInfo& info);

}  // namespace zqb
