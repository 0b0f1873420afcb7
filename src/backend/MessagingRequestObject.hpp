#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace zqb {

// The body of the push-categories request.
struct MessagingRequestObject {
    std::string sdkVersion{};
    int64_t sdkCodeVersion = 0;
    std::string appVersion{};
    int64_t categoriesVersion = 0;  // the stored categories version, 0 when none is stored
    std::optional<std::string> language{};
};

// Members in field order; "language" only when present.
void to_json(nlohmann::ordered_json& json, const MessagingRequestObject& request);

}  // namespace zqb
