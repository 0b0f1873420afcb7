#pragma once

#include "backend/Receipt.hpp"
#include "model/Identifiers.hpp"

#include <ZQBAnalytics/ZQBVerifyResponse.hpp>

#include <string>

namespace zqb {

// Whom a verification is sent for: the active project's application key and the active user's identifiers.
// Taken on the income queue, which owns that state, and carried to the anti-cheat queue by value, so that the
// exchange there never waits for the income queue.
struct ReceiptSender {
    std::string applicationKey;
    Identifiers identifiers;
};

// Has the gateway verify a purchase receipt.
class AntiCheatServiceProctocol {
public:
    virtual ~AntiCheatServiceProctocol() = default;

    // On the income queue: the sender of a verification queued now.
    virtual ReceiptSender receiptSender() = 0;

    // Synchronous: called on the anti-cheat queue, it waits for the gateway's verdict (bounded by the HTTP
    // idle time-out). Every failure is a status of the response.
    virtual ZQBVerifyResponse receiveReceiptStatus(const Receipt& receipt, const ReceiptSender& sender) = 0;
};

}  // namespace zqb
