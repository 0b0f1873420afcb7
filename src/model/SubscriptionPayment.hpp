#pragma once

#include "model/Storable.hpp"

namespace zqb {

// One subscription purchase ("sbs").
struct SubscriptionPayment final : Storable {
    // The product comes before the order here, as the builders pass them; the fields and keys hold the
    // order first.
    SubscriptionPayment(int64_t timestamp, int64_t sessionId, int64_t level, std::string productId,
                        std::string orderId, std::string regionCode, std::string currencyCode,
                        std::optional<std::vector<std::string>> inProgress = std::nullopt,
                        std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "sbs";
    int64_t timestamp;
    int64_t sessionId;
    int64_t level;
    std::string orderId;
    std::string productId;
    std::string regionCode;
    std::string currencyCode;
    std::optional<std::vector<std::string>> inProgress;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    void writeMembers(JsonWriter& out) const override;
    // Prints productId before orderId.
    std::string description() const override;
};

}  // namespace zqb
