#pragma once

#include "host/Environment.hpp"
#include "logic/AntiCheatLogicProtocol.hpp"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace zqb {

class QueueManager;
struct ReceiptSender;

// Receipt verification behind `ZQBAntiCheat`. The checks, the read of the application's receipt file and
// the snapshot of whom the receipt is sent for run on the income queue; the request runs on the anti-cheat
// queue, one verification at a time, so the income queue never waits for the gateway and the exchange never
// waits for the income queue.
//
// Every verification ends in exactly one call of its handler: a block that a queue drops unrun, or one that
// fails, answers `internalError` when it is released.
//
// Queued blocks hold the logic weakly until the request is queued, then strongly: create it with `create()`.
class AntiCheatLogic final : public AntiCheatLogicProtocol,
                             public std::enable_shared_from_this<AntiCheatLogic> {
public:
    static std::shared_ptr<AntiCheatLogic> create(QueueManager& incomeQueue, QueueManager& anticheatQueue,
                                                  host::Environment& environment);

    std::shared_ptr<AntiCheatServiceProctocol> antiCheatService() const override;
    void setAntiCheatService(std::shared_ptr<AntiCheatServiceProctocol> antiCheatService) override;

    void verifyPayment(std::string receiptString, VerifyHandler completionHandler) override;
    void verifyPaymentWithCompletion(VerifyHandler completionHandler) override;

private:
    class Completion;
    // The receipt in base64 text, or nothing (after its message) when there is none to send.
    using ReceiptSource = std::function<std::optional<std::string>()>;

    AntiCheatLogic(QueueManager& incomeQueue, QueueManager& anticheatQueue, host::Environment& environment);

    void enqueue(ReceiptSource receipt, VerifyHandler completionHandler);
    // Income queue: the checks, then the request queued with its sender.
    void check(const ReceiptSource& receipt, const std::shared_ptr<Completion>& completion);
    // Anti-cheat queue.
    void send(const std::string& receiptData, const ReceiptSender& sender, Completion& completion) const;
    std::optional<std::string> readApplicationReceipt() const;

    QueueManager& incomeQueue_;
    QueueManager& anticheatQueue_;
    host::Environment& environment_;
    mutable std::mutex mutex_;  // the service is set on the income queue and read on the anti-cheat queue
    std::shared_ptr<AntiCheatServiceProctocol> antiCheatService_;
};

}  // namespace zqb
