#pragma once

#include "foundation/QueueManager.hpp"

#include <functional>
#include <future>
#include <initializer_list>
#include <type_traits>

namespace zqb::test {

// Runs `work` as one operation of `queue` and returns its result once it has run: how a test calls a
// service on the income queue, or reads state that only that queue may touch.
template <typename Work>
auto runOn(QueueManager& queue, Work&& work) -> std::invoke_result_t<Work&> {
    using Result = std::invoke_result_t<Work&>;
    std::packaged_task<Result()> task(std::forward<Work>(work));
    auto future = task.get_future();
    queue.addOperation([&task] { task(); });
    return future.get();
}

template <typename Work>
auto onIncome(Work&& work) {
    return runOn(QueueManager::incomeQueue(), std::forward<Work>(work));
}

// Waits until the given queues are all idle at once: blocks running on one of them may queue more work on
// another, so the queues are checked until two rounds in a row find every one of them empty.
inline void settle(std::initializer_list<QueueManager*> queues) {
    int quietRounds = 0;
    while (quietRounds < 2) {
        bool quiet = true;
        for (auto* queue : queues) {
            if (queue->operationCount() > 0) {
                quiet = false;
                queue->waitUntilAllOperationsAreFinished();
            }
        }
        quietRounds = quiet ? quietRounds + 1 : 0;
    }
}

// The income queue and every queue that sends to the gateway.
inline void settleAll() {
    settle({&QueueManager::incomeQueue(), &QueueManager::networkSerialQueue(),
            &QueueManager::networkFlashQueue(), &QueueManager::configQueue(),
            &QueueManager::configBackQueue()});
}

}  // namespace zqb::test
