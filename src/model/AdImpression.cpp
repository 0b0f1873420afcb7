#include "model/AdImpression.hpp"

#include "model/RecordDescription.hpp"

namespace zqb {

AdImpression::AdImpression(std::string network, double revenue, int64_t sessionId,
                           std::optional<std::string> placement, std::optional<std::string> unit,
                           std::optional<std::vector<std::string>> inProgress,
                           std::optional<std::string> inExperiments)
    : timestamp(currentTimestamp()),
      sessionId(sessionId),
      network(std::move(network)),
      revenue(revenue),
      placement(std::move(placement)),
      unit(std::move(unit)),
      inProgress(std::move(inProgress)),
      inExperiments(std::move(inExperiments)) {}

nlohmann::ordered_json AdImpression::toJson() const {
    nlohmann::ordered_json json;
    json["code"] = code;
    json["timestamp"] = timestamp;
    json["sessionId"] = sessionId;
    json["source"] = source;
    json["ad_network"] = network;
    putIfPresent(json, "placement", placement);
    putIfPresent(json, "ad_unit", unit);
    json["revenue"] = revenue;
    putExperimentFields(json, inProgress, inExperiments);
    return json;
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
