#include "model/Referral.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

Referral::Referral(int64_t sessionId, std::optional<std::string> source, std::optional<std::string> campaign,
                   std::optional<std::string> content, std::optional<std::string> medium,
                   std::optional<std::string> term, std::optional<std::vector<std::string>> inProgress,
                   std::optional<std::string> inExperiments)
    : timestamp(currentTimestamp()),
      sessionId(sessionId),
      source(std::move(source)),
      campaign(std::move(campaign)),
      content(std::move(content)),
      medium(std::move(medium)),
      term(std::move(term)),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

nlohmann::ordered_json Referral::toJson() const {
    nlohmann::ordered_json json;
    json["code"] = code;
    json["timestamp"] = timestamp;
    json["sessionId"] = sessionId;
    putIfPresent(json, "source", source);
    putIfPresent(json, "campaign", campaign);
    putIfPresent(json, "content", content);
    putIfPresent(json, "medium", medium);
    putIfPresent(json, "term", term);
    putExperimentFields(json, inProgress, inExperiments);
    return json;
}

std::string Referral::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .integer("sessionId", sessionId)
        .optionalText("source", source)
        .optionalText("campaign", campaign)
        .optionalText("content", content)
        .optionalText("medium", medium)
        .optionalText("term", term)
        .experimentFields(inProgress, inExperiments)
        .str();
}

}  // namespace zqb
