#include "model/CurrentBalance.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

CurrentBalance::CurrentBalance(int64_t timestamp, int64_t sessionId, int64_t level, IntMap balance,
                               std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      sessionId(sessionId),
      level(level),
      balance(std::move(balance)),
      inExperiments(std::move(inExperiments)) {}

void CurrentBalance::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("sessionId", sessionId);
    out.member("level", level);
    out.member("balance", balance);
    out.memberIfPresent("inExperiments", inExperiments);
}

std::string CurrentBalance::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .integer("sessionId", sessionId)
        .integer("level", level)
        .mapBlock("balance", balance, "resource", "amount")
        .optionalText("inExperiments", inExperiments)
        .str();
}

}  // namespace zqb
