#pragma once

#include "logic/MessagingProtocol.hpp"

#include <memory>

namespace zqb {

// The front of the messaging module's calls, owned by the core from its creation; it holds no messaging
// logic until the start-up operation sets one.
class MessagingLogicProxyProtocol : public MessagingProtocol {
public:
    virtual std::shared_ptr<MessagingProtocol> messagingLogic() const = 0;
    // On the income queue, by the start-up operation.
    virtual void setMessagingLogic(std::shared_ptr<MessagingProtocol> messagingLogic) = 0;
};

}  // namespace zqb
