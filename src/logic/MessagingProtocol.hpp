#pragma once

#include "backend/MessagingCategory.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zqb {

// The operations of the messaging module, shared by the proxy that queues them and the logic that serves
// them. Arguments are value copies owned by the call.
class MessagingProtocol {
public:
    using CategoriesCompletion = std::function<void(std::vector<MessagingCategory>)>;

    virtual ~MessagingProtocol() = default;

    // The device's push token and whether the user allows notifications.
    virtual void pushToken(std::string token, bool isAllowed) = 0;
    // The user opened push `pushId` at `timestamp` (ms since 1970, as the module measured it), with the
    // button chosen, if any.
    virtual void pushOpened(int64_t timestamp, int64_t pushId, std::optional<std::string> button) = 0;
    // The project's push categories, as stored and as the gateway last changed them.
    virtual void getPushCategories(CategoriesCompletion completion) = 0;
};

}  // namespace zqb
