#include "model/SubscriptionPayment.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

SubscriptionPayment::SubscriptionPayment(int64_t timestamp, int64_t sessionId, int64_t level,
                                         std::string productId, std::string orderId, std::string regionCode,
                                         std::string currencyCode,
                                         std::optional<std::vector<std::string>> inProgress,
                                         std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      sessionId(sessionId),
      level(level),
      orderId(std::move(orderId)),
      productId(std::move(productId)),
      regionCode(std::move(regionCode)),
      currencyCode(std::move(currencyCode)),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

void SubscriptionPayment::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("sessionId", sessionId);
    out.member("level", level);
    out.member("orderId", orderId);
    out.member("productId", productId);
    out.member("regionCode", regionCode);
    out.member("currencyCode", currencyCode);
    out.experimentFields(inProgress, inExperiments);
}

std::string SubscriptionPayment::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .integer("sessionId", sessionId)
        .integer("level", level)
        .text("productId", productId)
        .text("orderId", orderId)
        .text("regionCode", regionCode)
        .text("currencyCode", currencyCode)
        .experimentFields(inProgress, inExperiments)
        .str();
}

}  // namespace zqb
