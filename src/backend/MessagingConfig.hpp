#pragma once

#include "backend/MessagingCategory.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// The gateway's push categories: the version of the set, new or changed categories, ids to remove.
struct MessagingConfig {
    int64_t version = 0;
    std::vector<MessagingCategory> categories{};
    std::optional<std::vector<std::string>> removed{};

    bool operator==(const MessagingConfig&) const = default;

    // Reads the whole answer: {"pushCategories": {"version": required, "categories": required, "removed":
    // optional}}, a required member being neither missing nor null; other members are ignored. Throws
    // WireDecodingError; no partial result is kept.
    static MessagingConfig fromAnswer(const nlohmann::ordered_json& json);
};

}  // namespace zqb
