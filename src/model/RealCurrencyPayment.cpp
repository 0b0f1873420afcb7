#include "model/RealCurrencyPayment.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

RealCurrencyPayment::RealCurrencyPayment(int64_t sessionId, int64_t level, std::string productId,
                                         std::string orderId, double price, std::string currencyCode,
                                         std::optional<std::vector<std::string>> inProgress,
                                         std::optional<std::string> inExperiments)
    : timestamp(currentTimestamp()),
      sessionId(sessionId),
      level(level),
      productId(std::move(productId)),
      orderId(std::move(orderId)),
      price(price),
      currencyCode(std::move(currencyCode)),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

nlohmann::ordered_json RealCurrencyPayment::toJson() const {
    nlohmann::ordered_json json;
    json["code"] = code;
    json["timestamp"] = timestamp;
    json["sessionId"] = sessionId;
    json["level"] = level;
    json["productId"] = productId;
    json["orderId"] = orderId;
    json["price"] = price;
    json["currencyCode"] = currencyCode;
    putExperimentFields(json, inProgress, inExperiments);
    return json;
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
