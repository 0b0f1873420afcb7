#pragma once

#include "model/RestoredTransaction.hpp"
#include "model/Storable.hpp"

namespace zqb {

// The user's restored purchase history ("sbsr").
struct RestoredTransactionsEvent final : Storable {
    RestoredTransactionsEvent(int64_t timestamp, std::string currencyCode,
                              std::vector<RestoredTransaction> transactions);

    std::string code = "sbsr";
    int64_t timestamp;
    std::string currencyCode;
    std::vector<RestoredTransaction> transactions;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
