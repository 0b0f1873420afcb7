#pragma once

#include "backend/Backend.hpp"
#include "services/AntiCheatServiceProctocol.hpp"
#include "services/StateManagerProtocol.hpp"

#include <memory>

namespace zqb {

class ProjectRepository;

// Sends a receipt for the sender taken on the income queue; the exchange itself runs on the caller's queue
// and reads no state of the income queue.
class AntiCheatService final : public AntiCheatServiceProctocol {
public:
    AntiCheatService(std::shared_ptr<StateManagerProtocol> stateManager,
                     std::shared_ptr<ProjectRepository> projectRepository,
                     std::shared_ptr<BackendProtocol> backend);

    ReceiptSender receiptSender() override;
    ZQBVerifyResponse receiveReceiptStatus(const Receipt& receipt, const ReceiptSender& sender) override;

private:
    std::shared_ptr<StateManagerProtocol> stateManager_;
    std::shared_ptr<ProjectRepository>
        projectRepository_;  // held for the container; the verification needs none
    std::shared_ptr<BackendProtocol> backend_;
};

}  // namespace zqb
