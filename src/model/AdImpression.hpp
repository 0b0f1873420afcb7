#pragma once

#include "model/Storable.hpp"

namespace zqb {

// The revenue of one ad impression ("adrv"). The JSON names two members differently from the fields
// ("ad_network", "ad_unit") and writes them in an order of its own.
struct AdImpression final : Storable {
    // `source` is always "sdk".
    AdImpression(int64_t timestamp, std::string network, double revenue, int64_t sessionId,
                 std::optional<std::string> placement, std::optional<std::string> unit,
                 std::optional<std::vector<std::string>> inProgress = std::nullopt,
                 std::optional<std::string> inExperiments = std::nullopt);

    std::string code = "adrv";
    int64_t timestamp;
    int64_t sessionId;
    std::string network;
    double revenue;  // must be finite for the record to encode
    std::string source = "sdk";
    std::optional<std::string> placement;
    std::optional<std::string> unit;
    std::optional<std::vector<std::string>> inProgress;
    std::optional<std::string> inExperiments;

    const std::string& eventCode() const override { return code; }
    // Keys: code, timestamp, sessionId, source, ad_network, placement, ad_unit, revenue, experiment fields.
    void writeMembers(JsonWriter& out) const override;
    // Lines in field order, under the field names.
    std::string description() const override;
};

}  // namespace zqb
