#include "model/AdImpression.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

AdImpression::AdImpression(int64_t timestamp, std::string network, double revenue, int64_t sessionId,
                           std::optional<std::string> placement, std::optional<std::string> unit,
                           std::optional<std::vector<std::string>> inProgress,
                           std::optional<std::string> inExperiments)
    : timestamp(timestamp),
      sessionId(sessionId),
      network(std::move(network)),
      revenue(revenue),
      placement(std::move(placement)),
      unit(std::move(unit)),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

void AdImpression::writeMembers(JsonWriter& out) const {
    out.member("code", code);
    out.member("timestamp", timestamp);
    out.member("sessionId", sessionId);
    out.member("source", source);
    out.member("ad_network", network);
    out.memberIfPresent("placement", placement);
    out.memberIfPresent("ad_unit", unit);
    out.member("revenue", revenue);
    out.experimentFields(inProgress, inExperiments);
}

std::string AdImpression::description() const {
    return RecordDescription()
        .text("code", code)
        .integer("timestamp", timestamp)
        .integer("sessionId", sessionId)
        .text("network", network)
        .number("revenue", revenue)
        .text("source", source)
        .optionalText("placement", placement)
        .optionalText("unit", unit)
        .experimentFields(inProgress, inExperiments)
        .str();
}

}  // namespace zqb
