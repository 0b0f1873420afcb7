#include "core/MessagingLogicProxy.hpp"

#include "foundation/Logger.hpp"
#include "validation/Validator.hpp"

#include <utility>

namespace zqb {

std::shared_ptr<MessagingProtocol> MessagingLogicProxy::messagingLogic() const {
    std::lock_guard lock(mutex_);
    return messagingLogic_;
}

void MessagingLogicProxy::setMessagingLogic(std::shared_ptr<MessagingProtocol> messagingLogic) {
    std::lock_guard lock(mutex_);
    messagingLogic_.swap(messagingLogic);
    // A replaced logic is released after the lock.
}

template <typename Body>
void MessagingLogicProxy::enqueue(const char* method, Body body) {
    postWeakly(incomeQueue_, weak_from_this(),
               [method, body = std::move(body)](MessagingLogicProxy& proxy) mutable {
                   const auto logic = proxy.messagingLogic();
                   if (!logic) {
                       Logger::writeLog(ZQBLogLevel::error,
                                        Validator::messageHead(method) + "The SDK is not initialized yet!");
                       return;
                   }
                   body(*logic);
               });
}

void MessagingLogicProxy::pushToken(std::string token, bool isAllowed) {
    enqueue("pushToken(_:_:)", [token = std::move(token), isAllowed](MessagingProtocol& logic) mutable {
        logic.pushToken(std::move(token), isAllowed);
    });
}

void MessagingLogicProxy::pushOpened(int64_t timestamp, int64_t pushId, std::optional<std::string> button) {
    enqueue("pushOpened(_:_:_:)",
            [timestamp, pushId, button = std::move(button)](MessagingProtocol& logic) mutable {
                logic.pushOpened(timestamp, pushId, std::move(button));
            });
}

void MessagingLogicProxy::getPushCategories(CategoriesCompletion completion) {
    enqueue("getPushCategories(_:)", [completion = std::move(completion)](MessagingProtocol& logic) mutable {
        logic.getPushCategories(std::move(completion));
    });
}

}  // namespace zqb
