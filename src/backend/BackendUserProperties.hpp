#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace zqb {

// What the gateway knows of the user, kept and stored with the configuration.
struct BackendUserProperties {
    std::optional<std::string> country{};

    bool operator==(const BackendUserProperties&) const = default;

    // Throws WireDecodingError; `path` is where the object sits in the whole answer.
    static BackendUserProperties fromJson(const nlohmann::ordered_json& json,
                                          std::vector<std::string> path = {});
    nlohmann::ordered_json toJson() const;
};

}  // namespace zqb
