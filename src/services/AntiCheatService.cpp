#include "services/AntiCheatService.hpp"

namespace zqb {

AntiCheatService::AntiCheatService(std::shared_ptr<StateManagerProtocol> stateManager,
                                   std::shared_ptr<ProjectRepository> projectRepository,
                                   std::shared_ptr<BackendProtocol> backend)
    : stateManager_(std::move(stateManager)),
      projectRepository_(std::move(projectRepository)),
      backend_(std::move(backend)) {}

ReceiptSender AntiCheatService::receiptSender() {
    const auto project = stateManager_->getActiveProject();
    const auto user = stateManager_->getActiveUser();
    return ReceiptSender{project->applicationKey, stateManager_->getIdentifiers(*user)};
}

ZQBVerifyResponse AntiCheatService::receiveReceiptStatus(const Receipt& receipt,
                                                         const ReceiptSender& sender) {
    return backend_->sendVerifyReceipt(sender.applicationKey, receipt, sender.identifiers);
}

}  // namespace zqb
