#pragma once

#include "core/AntiCheatLogicProtocol.hpp"

#include <mutex>

namespace zqb {

// The receipt-verification front until its logic is built: it keeps the service it is handed and nothing
// else.
class NullAntiCheatLogic final : public AntiCheatLogicProtocol {
public:
    std::shared_ptr<AntiCheatServiceProctocol> antiCheatService() const override {
        std::lock_guard lock(mutex_);
        return antiCheatService_;
    }
    void setAntiCheatService(std::shared_ptr<AntiCheatServiceProctocol> antiCheatService) override {
        std::lock_guard lock(mutex_);
        antiCheatService_.swap(antiCheatService);
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<AntiCheatServiceProctocol> antiCheatService_;
};

}  // namespace zqb
