#pragma once

#include "model/Storable.hpp"

namespace zqb {

// A purchase paid with in-app currency ("vp"). The price map is always written, {} when empty.
struct VirtualCurrencyPayment final : Storable {
    VirtualCurrencyPayment(int64_t timestamp, int64_t sessionId, int64_t level, std::string purchaseId,
                           int64_t purchaseAmount, IntMap purchasePrice, std::string purchaseType,
                           std::optional<std::vector<std::string>> inProgress = std::nullopt,
                           std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "vp";
    int64_t timestamp;
    int64_t sessionId;
    int64_t level;
    std::string purchaseId;
    int64_t purchaseAmount;
    IntMap purchasePrice;  // currency name -> amount paid
    std::string purchaseType;
    std::optional<std::vector<std::string>> inProgress;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    // Prints the type line before the price block; the JSON writes the price first.
    std::string description() const override;
};

}  // namespace zqb
