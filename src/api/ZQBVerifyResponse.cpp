#include <ZQBAnalytics/ZQBVerifyResponse.hpp>

std::string ZQBVerifyResponse::description() const {
    std::string text = "receiptStatus: [" + std::string(::description(receiptStatus_)) + "]";
    if (verificationResult_) {
        text += " verificationResult: [" + *verificationResult_ + "]";
    }
    return text;
}
