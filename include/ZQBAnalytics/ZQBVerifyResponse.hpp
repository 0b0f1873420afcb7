#pragma once

#include <ZQBAnalytics/ZQBEnums.hpp>
#include <ZQBAnalytics/ZQBExport.hpp>

#include <optional>
#include <string>
#include <utility>

/// The outcome of a receipt verification, handed to the completion handler of `ZQBAntiCheat`. The library
/// makes these; a host has no need to.
class ZQB_EXPORT ZQBVerifyResponse {
public:
    ZQBVerifyResponse(ZQBReceiptStatus receiptStatus, std::optional<std::string> verificationResult)
        : receiptStatus_(receiptStatus), verificationResult_(std::move(verificationResult)) {}

    ZQBReceiptStatus receiptStatus() const { return receiptStatus_; }
    /// The gateway's verification text, when it sent one.
    const std::optional<std::string>& verificationResult() const { return verificationResult_; }

    /// "receiptStatus: [<status text>]", followed by " verificationResult: [<text>]" when there is one.
    std::string description() const;

private:
    ZQBReceiptStatus receiptStatus_;
    std::optional<std::string> verificationResult_;
};
