#pragma once

#include <ZQBAnalytics/ZQBVerifyResponse.hpp>

#include <optional>
#include <string>
#include <utility>

namespace zqb {

// The library's one way to make the verification outcomes that hosts receive but cannot construct.
struct VerifyResponseFactory {
    static ZQBVerifyResponse make(ZQBReceiptStatus status,
                                  std::optional<std::string> verificationResult = std::nullopt) {
        return ZQBVerifyResponse(status, std::move(verificationResult));
    }
};

}  // namespace zqb
