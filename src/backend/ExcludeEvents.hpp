#pragma once

#include "model/AnyCodable.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// The exclusion block of the configuration: `all` true records no events at all; in `events` an event code
// listed with an empty array excludes the whole event, one listed with values excludes the events whose
// characteristic argument equals one of them.
struct ExcludeEvents {
    int64_t version = 0;
    std::optional<bool> all{};
    std::optional<std::map<std::string, AnyCodableList>> events{};

    bool operator==(const ExcludeEvents&) const = default;

    // Throws WireDecodingError; "version" is required, the rest optional.
    static ExcludeEvents fromJson(const nlohmann::ordered_json& json, std::vector<std::string> path = {});
    // "version" always; "all" and "events" only when present. Throws when a value cannot be encoded.
    nlohmann::ordered_json toJson() const;
};

}  // namespace zqb
