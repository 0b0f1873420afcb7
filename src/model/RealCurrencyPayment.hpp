#pragma once

#include "model/Storable.hpp"

namespace zqb {

// A purchase paid with real money ("rp").
struct RealCurrencyPayment final : Storable {
    RealCurrencyPayment(int64_t timestamp, int64_t sessionId, int64_t level, std::string productId,
                        std::string orderId, double price, std::string currencyCode,
                        std::optional<std::vector<std::string>> inProgress = std::nullopt,
                        std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "rp";
    int64_t timestamp;
    int64_t sessionId;
    int64_t level;
    std::string productId;
    std::string orderId;
    double price;  // must be finite for the record to encode
    std::string currencyCode;
    std::optional<std::vector<std::string>> inProgress;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    std::string description() const override;
};

}  // namespace zqb
