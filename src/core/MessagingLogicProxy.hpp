#pragma once

#include "core/MessagingLogicProxyProtocol.hpp"
#include "foundation/QueueManager.hpp"

#include <mutex>

namespace zqb {

// Moves each call of the messaging module onto the income queue, in call order, with a copy of its
// arguments; the caller returns at once. On the queue a call whose proxy has been released (the core was
// destroyed meanwhile) does nothing; a call that finds no logic is refused with ERROR "In the <method>
// method an error has occurred: The SDK is not initialized yet!", and a refused category request never
// calls its completion. Otherwise the logic serves the call.
//
// The logic is set on the income queue; it is guarded because a core's fronts may be read from any thread.
// Create with `std::make_shared`: calls queued on a proxy that is not owned find it gone.
class MessagingLogicProxy final : public MessagingLogicProxyProtocol,
                                  public std::enable_shared_from_this<MessagingLogicProxy> {
public:
    explicit MessagingLogicProxy(QueueManager& incomeQueue) : incomeQueue_(incomeQueue) {}

    std::shared_ptr<MessagingProtocol> messagingLogic() const override;
    void setMessagingLogic(std::shared_ptr<MessagingProtocol> messagingLogic) override;

    void pushToken(std::string token, bool isAllowed) override;
    void pushOpened(int64_t timestamp, int64_t pushId, std::optional<std::string> button) override;
    void getPushCategories(CategoriesCompletion completion) override;

private:
    // Queues `body(logic)`; `method` names the call in the not-initialised message.
    template <typename Body>
    void enqueue(const char* method, Body body);

    QueueManager& incomeQueue_;
    mutable std::mutex mutex_;
    std::shared_ptr<MessagingProtocol> messagingLogic_;
};

}  // namespace zqb
