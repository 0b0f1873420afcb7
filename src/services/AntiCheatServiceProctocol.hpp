#pragma once

#include "logic/Receipt.hpp"

#include <ZQBAnalytics/ZQBVerifyResponse.hpp>

namespace zqb {

// Has the gateway verify a purchase receipt.
class AntiCheatServiceProctocol {
public:
    virtual ~AntiCheatServiceProctocol() = default;

    // Synchronous: called on the anti-cheat queue, it waits for the gateway's verdict (bounded by the HTTP
    // idle time-out). Every failure is a status of the response.
    virtual ZQBVerifyResponse receiveReceiptStatus(const Receipt& receipt) = 0;
};

}  // namespace zqb
