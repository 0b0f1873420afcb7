#pragma once

#include "backend/MessagingCategory.hpp"

#include <functional>
#include <vector>

namespace zqb {

// The push-notification categories of the project, kept in step with the gateway.
class MessagingServiceProtocol {
public:
    using CategoriesCompletion = std::function<void(std::vector<MessagingCategory>)>;

    virtual ~MessagingServiceProtocol() = default;

    // Called on the income queue. `completion` is called exactly once: on the network messaging queue with
    // the stored categories merged with the gateway's answer, or the stored ones when there was no answer; at
    // once, on the calling thread, with the stored ones when the device facts cannot be had (no request
    // then).
    virtual void getPushCategories(CategoriesCompletion completion) = 0;
};

}  // namespace zqb
