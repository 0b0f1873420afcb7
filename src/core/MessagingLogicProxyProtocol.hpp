#pragma once

#include "core/MessagingLogicProtocol.hpp"

#include <memory>

namespace zqb {

// The front of the messaging module's calls, owned by the core from its creation; it holds no messaging
// logic until the start-up operation sets one.
class MessagingLogicProxyProtocol {
public:
    virtual ~MessagingLogicProxyProtocol() = default;

    virtual std::shared_ptr<MessagingLogicProtocol> messagingLogic() const = 0;
    // On the income queue, by the start-up operation.
    virtual void setMessagingLogic(std::shared_ptr<MessagingLogicProtocol> messagingLogic) = 0;
};

}  // namespace zqb
