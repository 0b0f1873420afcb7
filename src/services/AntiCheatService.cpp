#include "services/AntiCheatService.hpp"

#include "core/Logger.hpp"
#include "core/QueueManager.hpp"

#include <future>

namespace zqb {

AntiCheatService::AntiCheatService(std::shared_ptr<StateManagerProtocol> stateManager,
                                   std::shared_ptr<ProjectRepository> projectRepository,
                                   std::shared_ptr<BackendProtocol> backend)
    : stateManager_(std::move(stateManager)),
      projectRepository_(std::move(projectRepository)),
      backend_(std::move(backend)) {}

AntiCheatService::Snapshot AntiCheatService::takeSnapshot() {
    const auto project = stateManager_->getActiveProject();
    const auto user = stateManager_->getActiveUser();
    return Snapshot{project->applicationKey, stateManager_->getIdentifiers(*user)};
}

std::optional<AntiCheatService::Snapshot> AntiCheatService::snapshotFromIncomeQueue() {
    auto& incomeQueue = QueueManager::incomeQueue();
    if (incomeQueue.isCurrent()) {
        return takeSnapshot();
    }
    auto promise = std::make_shared<std::promise<Snapshot>>();
    auto future = promise->get_future();
    // The block is the promise's only owner: dropped unrun, it breaks the promise, which ends the wait.
    incomeQueue.addOperation([weak = weak_from_this(), promise = std::move(promise)] {
        if (const auto self = weak.lock()) {
            promise->set_value(self->takeSnapshot());
        }
    });
    try {
        return future.get();
    } catch (const std::future_error&) {
        return std::nullopt;
    }
}

ZQBVerifyResponse AntiCheatService::receiveReceiptStatus(const Receipt& receipt) {
    const auto snapshot = snapshotFromIncomeQueue();
    if (!snapshot) {
        Logger::writeLog(ZQBLogLevel::error,
                         "Receipt verification has been canceled: the SDK was stopped before it could run");
        return ZQBVerifyResponse(ZQBReceiptStatus::receiptInternalError, std::nullopt);
    }
    return backend_->sendVerifyReceipt(snapshot->applicationKey, receipt, snapshot->identifiers);
}

}  // namespace zqb
