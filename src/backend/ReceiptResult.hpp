#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace zqb {

// The gateway's answer to a receipt verification.
struct ReceiptResult {
    std::optional<std::string> verificationResult{};
    std::optional<int64_t> status{};  // 0 to 4 when valid: a ZQBReceiptStatus raw value

    // Both members optional (missing or null); a present value of the wrong type throws WireDecodingError.
    static ReceiptResult fromJson(const nlohmann::ordered_json& json);
};

}  // namespace zqb
