#pragma once

#include "backend/Backend.hpp"
#include "backend/Identifiers.hpp"
#include "core/StateManagerProtocol.hpp"
#include "services/AntiCheatServiceProctocol.hpp"

#include <memory>
#include <optional>
#include <string>

namespace zqb {

class ProjectRepository;

// Sends a receipt with the identifiers of the user active when the verification runs. Those are read on the
// income queue, which owns them: a call from another queue posts a short read there and waits for it. The
// exchange itself runs on the caller's queue. Create with `std::make_shared`.
class AntiCheatService final : public AntiCheatServiceProctocol,
                               public std::enable_shared_from_this<AntiCheatService> {
public:
    AntiCheatService(std::shared_ptr<StateManagerProtocol> stateManager,
                     std::shared_ptr<ProjectRepository> projectRepository,
                     std::shared_ptr<BackendProtocol> backend);

    ZQBVerifyResponse receiveReceiptStatus(const Receipt& receipt) override;

private:
    struct Snapshot {
        std::string applicationKey;
        Identifiers identifiers;
    };
    Snapshot takeSnapshot();
    // Nothing when the income queue dropped the read (the SDK is being destroyed).
    std::optional<Snapshot> snapshotFromIncomeQueue();

    std::shared_ptr<StateManagerProtocol> stateManager_;
    std::shared_ptr<ProjectRepository>
        projectRepository_;  // held for the container; the verification needs none
    std::shared_ptr<BackendProtocol> backend_;
};

}  // namespace zqb
