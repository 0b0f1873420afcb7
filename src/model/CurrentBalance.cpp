#include "model/CurrentBalance.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

CurrentBalance::CurrentBalance(int64_t sessionId, int64_t level, IntMap balance,
                               std::optional<std::string> inExperiments)
    : timestamp(currentTimestamp()),
      sessionId(sessionId),
      level(level),
      balance(std::move(balance)),
      inExperiments(std::move(inExperiments)) {}

nlohmann::ordered_json CurrentBalance::toJson() const {
    nlohmann::ordered_json json;
    json["code"] = code;
    json["timestamp"] = timestamp;
    json["sessionId"] = sessionId;
    json["level"] = level;
    json["balance"] = nlohmann::ordered_json(balance);
    putIfPresent(json, "inExperiments", inExperiments);
    return json;
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
