#pragma once

#include <ZQBAnalytics/ZQBEnums.hpp>
#include <ZQBAnalytics/ZQBExport.hpp>
#include <ZQBAnalytics/ZQBVerifyResponse.hpp>

#include <functional>
#include <string_view>

/// Verification of a purchase receipt by the analytics service. Both members are static, may be called from
/// any thread and return at once.
///
/// The handler is called exactly once, later, on a library thread (never on the caller's thread), also when
/// the library is destroyed meanwhile. The response's `receiptStatus()` is:
/// - the service's verdict (any of the five statuses), with the service's text in `verificationResult()`;
/// - `serverError` when the service answered with an HTTP error or could not be reached;
/// - `internalError` when the library refused the request (called before `ZQBAnalytics::initialize` or
///   after a failed start-up, an empty receipt, no readable receipt file) or could not read the answer.
///
/// Verifications are sent one at a time, in the order of the calls; each waits for its answer (at most the
/// request's 60 s idle time-out) without holding up the library's other work.
class ZQB_EXPORT ZQBAntiCheat {
public:
    using CompletionHandler = std::function<void(const ZQBVerifyResponse&)>;

    ZQBAntiCheat() = delete;

    /// Has the receipt (base64 text, as the store gave it) verified. An empty text is refused with ERROR
    /// "Invalid receipt data.".
    static void verifyPayment(std::string_view receiptString, CompletionHandler completionHandler);

    /// Has the application's own receipt file verified: the file named through `ZQBHost::setReceiptPath`,
    /// read when the call runs and sent as base64 text. Without a file there the answer is `internalError`;
    /// a file that cannot be read also logs ERROR "Couldn't read receipt data. Error: <reason>".
    static void verifyPayment(CompletionHandler completionHandler);
};
