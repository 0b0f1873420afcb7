#include "model/LevelUp.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

LevelUp::LevelUp(int64_t timestamp, int64_t sessionId, int64_t level, std::optional<IntMap> balance,
                 std::optional<std::vector<std::string>> inProgress, std::optional<std::string> inExperiments,
                 std::optional<IntMap> spent, std::optional<IntMap> earned, std::optional<IntMap> bought)
    : timestamp(timestamp),
      sessionId(sessionId),
      level(level),
      balance(std::move(balance)),
      spent(std::move(spent)),
      earned(std::move(earned)),
      bought(std::move(bought)),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

void LevelUp::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("sessionId", sessionId);
    out.member("timestamp", timestamp);
    out.member("level", level);
    out.memberIfPresent("balance", balance);
    out.memberIfPresent("spent", spent);
    out.memberIfPresent("earned", earned);
    out.memberIfPresent("bought", bought);
    out.experimentFields(inProgress, inExperiments);
}

std::string LevelUp::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .integer("sessionId", sessionId)
        .integer("level", level)
        .mapBlock("balance", balance, "resource", "amount")
        .mapBlock("spent", spent, "resource", "amount")
        .mapBlock("earned", earned, "resource", "amount")
        .mapBlock("bought", bought, "resource", "amount")
        .experimentFields(inProgress, inExperiments)
        .str();
}

}  // namespace zqb
