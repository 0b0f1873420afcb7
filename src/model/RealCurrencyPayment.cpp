#include "model/RealCurrencyPayment.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

RealCurrencyPayment::RealCurrencyPayment(int64_t timestamp, int64_t sessionId, int64_t level,
                                         std::string productId, std::string orderId, double price,
                                         std::string currencyCode,
                                         std::optional<std::vector<std::string>> inProgress,
                                         std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      sessionId(sessionId),
      level(level),
      productId(std::move(productId)),
      orderId(std::move(orderId)),
      price(price),
      currencyCode(std::move(currencyCode)),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

void RealCurrencyPayment::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("sessionId", sessionId);
    out.member("level", level);
    out.member("productId", productId);
    out.member("orderId", orderId);
    out.member("price", price);
    out.member("currencyCode", currencyCode);
    out.experimentFields(inProgress, inExperiments);
}

std::string RealCurrencyPayment::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .integer("sessionId", sessionId)
        .integer("level", level)
        .text("productId", productId)
        .text("orderId", orderId)
        .number("price", price)
        .text("currencyCode", currencyCode)
        .experimentFields(inProgress, inExperiments)
        .str();
}

}  // namespace zqb
