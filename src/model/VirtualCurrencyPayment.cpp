#include "model/VirtualCurrencyPayment.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

VirtualCurrencyPayment::VirtualCurrencyPayment(int64_t timestamp, int64_t sessionId, int64_t level,
                                               std::string purchaseId, int64_t purchaseAmount,
                                               IntMap purchasePrice, std::string purchaseType,
                                               std::optional<std::vector<std::string>> inProgress,
                                               std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      sessionId(sessionId),
      level(level),
      purchaseId(std::move(purchaseId)),
      purchaseAmount(purchaseAmount),
      purchasePrice(std::move(purchasePrice)),
      purchaseType(std::move(purchaseType)),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

void VirtualCurrencyPayment::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("sessionId", sessionId);
    out.member("level", level);
    out.member("purchaseId", purchaseId);
    out.member("purchaseAmount", purchaseAmount);
    out.member("purchasePrice", purchasePrice);
    out.member("purchaseType", purchaseType);
    out.experimentFields(inProgress, inExperiments);
}

std::string VirtualCurrencyPayment::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .integer("sessionId", sessionId)
        .integer("level", level)
        .text("purchaseId", purchaseId)
        .integer("purchaseAmount", purchaseAmount)
        .text("purchaseType", purchaseType)
        .mapBlock("purchasePrice", purchasePrice, "currency", "price")
        .experimentFields(inProgress, inExperiments)
        .str();
}

}  // namespace zqb
