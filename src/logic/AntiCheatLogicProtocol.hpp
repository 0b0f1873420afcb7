#pragma once

#include <ZQBAnalytics/ZQBVerifyResponse.hpp>

#include <functional>
#include <memory>
#include <string>

namespace zqb {

class AntiCheatServiceProctocol;

// The front of receipt verification, owned by the core from its creation. It has no service until the
// start-up operation hands it the anti-cheat service; until then every verification answers
// `internalError`.
class AntiCheatLogicProtocol {
public:
    using VerifyHandler = std::function<void(const ZQBVerifyResponse&)>;

    virtual ~AntiCheatLogicProtocol() = default;

    virtual std::shared_ptr<AntiCheatServiceProctocol> antiCheatService() const = 0;
    // On the income queue, by the start-up operation.
    virtual void setAntiCheatService(std::shared_ptr<AntiCheatServiceProctocol> antiCheatService) = 0;

    // Return at once. The handler is called exactly once, later, on the income queue (refusals) or on the
    // anti-cheat queue (the gateway's verdict).
    virtual void verifyPayment(std::string receiptString, VerifyHandler completionHandler) = 0;
    // As above, with the application's own receipt file as the receipt.
    virtual void verifyPaymentWithCompletion(VerifyHandler completionHandler) = 0;
};

}  // namespace zqb
