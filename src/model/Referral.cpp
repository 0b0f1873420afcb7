#include "model/Referral.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

Referral::Referral(int64_t timestamp, int64_t sessionId, std::optional<std::string> source,
                   std::optional<std::string> campaign, std::optional<std::string> content,
                   std::optional<std::string> medium, std::optional<std::string> term,
                   std::optional<std::vector<std::string>> inProgress,
                   std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      sessionId(sessionId),
      source(std::move(source)),
      campaign(std::move(campaign)),
      content(std::move(content)),
      medium(std::move(medium)),
      term(std::move(term)),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

void Referral::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("sessionId", sessionId);
    out.memberIfPresent("source", source);
    out.memberIfPresent("campaign", campaign);
    out.memberIfPresent("content", content);
    out.memberIfPresent("medium", medium);
    out.memberIfPresent("term", term);
    out.experimentFields(inProgress, inExperiments);
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
