#pragma once

#include "core/MessagingLogicProxyProtocol.hpp"

#include <mutex>

namespace zqb {

// The messaging front until the messaging bridge is built: it keeps the logic it is handed and nothing
// else.
class NullMessagingLogicProxy final : public MessagingLogicProxyProtocol {
public:
    std::shared_ptr<MessagingLogicProtocol> messagingLogic() const override {
        std::lock_guard lock(mutex_);
        return messagingLogic_;
    }
    void setMessagingLogic(std::shared_ptr<MessagingLogicProtocol> messagingLogic) override {
        std::lock_guard lock(mutex_);
        messagingLogic_.swap(messagingLogic);
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<MessagingLogicProtocol> messagingLogic_;
};

}  // namespace zqb
