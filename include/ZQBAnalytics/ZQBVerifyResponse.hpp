#pragma once

#include <ZQBAnalytics/ZQBEnums.hpp>
#include <ZQBAnalytics/ZQBExport.hpp>

#include <optional>
#include <string>
#include <utility>

namespace zqb {
struct VerifyResponseFactory;
}

/// The outcome of a receipt verification, handed to the completion handler of `ZQBAntiCheat`. Only the
/// library makes these; a host reads (and may copy) the one it is handed.
class ZQB_EXPORT ZQBVerifyResponse {
public:
    ZQBReceiptStatus receiptStatus() const { return receiptStatus_; }
    /// The gateway's verification text, when it sent one.
    const std::optional<std::string>& verificationResult() const { return verificationResult_; }

    /// "receiptStatus: [<status text>]", followed by " verificationResult: [<text>]" when there is one.
    std::string description() const;

private:
    friend struct zqb::VerifyResponseFactory;

    ZQBVerifyResponse(ZQBReceiptStatus receiptStatus, std::optional<std::string> verificationResult)
        : receiptStatus_(receiptStatus), verificationResult_(std::move(verificationResult)) {}

    ZQBReceiptStatus receiptStatus_;
    std::optional<std::string> verificationResult_;
};
